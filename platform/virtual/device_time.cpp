#include "platform/virtual/device_time.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <unordered_map>

#include "platform/virtual/virtual_clock.h"

namespace platform {

namespace {

std::atomic<std::uint64_t> lastDeviceTime{0};

}  // namespace

DeviceTime::DeviceTime(Clock &clock) : clock_(clock), id_(++lastDeviceTime) {}

std::int64_t &DeviceTime::owed()
{
    // Each thread's own, gone with it; numbered rather than by address, so
    // that a new DeviceTime in an old one's place starts owing nothing.
    thread_local std::unordered_map<std::uint64_t, std::int64_t> owedByThread;
    return owedByThread[id_];
}

std::int64_t DeviceTime::nowMicroseconds() { return saturatingSum(microsecondsNow(clock_), owed()); }

void DeviceTime::pass(std::int64_t microseconds)
{
    if (microseconds <= 0)
        return;
    if (auto *virtualClock = dynamic_cast<VirtualClock *>(&clock_)) {
        const std::int64_t now = virtualClock->nowMicroseconds();
        virtualClock->pass(saturatingSum(now, microseconds) - now);
        return;
    }
    std::int64_t &debt = owed();
    debt = saturatingSum(debt, microseconds);
    if (debt < 1000)
        return;
    // The longest sleep a clock takes; what is left stays owed.
    const auto milliseconds =
        static_cast<std::uint32_t>(std::min<std::int64_t>(debt / 1000, std::numeric_limits<std::uint32_t>::max()));
    const std::int64_t frequency = clock_.counterFrequency();
    if (frequency <= 0) {
        // Without a counter the sleep is all we can know of.
        clock_.sleep(milliseconds);
        debt -= std::int64_t{milliseconds} * 1000;
        return;
    }
    const std::int64_t before = clock_.counterValue();
    clock_.sleep(milliseconds);
    const std::int64_t counts = clock_.counterValue() - before;
    debt -= counts / frequency * 1'000'000 + counts % frequency * 1'000'000 / frequency;
}

std::int64_t saturatingSum(std::int64_t a, std::int64_t b)
{
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
    if (b > 0 && a > largest - b)
        return largest;
    if (b < 0 && a < smallest - b)
        return smallest;
    return a + b;
}

std::int64_t microsecondsNow(Clock &clock)
{
    if (auto *virtualClock = dynamic_cast<VirtualClock *>(&clock))
        return virtualClock->nowMicroseconds();
    const std::int64_t frequency = clock.counterFrequency();
    if (frequency <= 0)
        return std::int64_t{clock.tickCount()} * 1000;
    const std::int64_t value = clock.counterValue();
    return value / frequency * 1'000'000 + value % frequency * 1'000'000 / frequency;
}

}  // namespace platform
