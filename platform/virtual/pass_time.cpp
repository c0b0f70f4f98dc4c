#include "platform/virtual/pass_time.h"

#include "platform/virtual/virtual_clock.h"

namespace platform {

std::int64_t DeviceTime::nowMicroseconds() { return microsecondsNow(clock_) + owed_; }

void DeviceTime::pass(std::int64_t microseconds)
{
    if (microseconds <= 0)
        return;
    if (auto *virtualClock = dynamic_cast<VirtualClock *>(&clock_)) {
        virtualClock->advanceMicroseconds(microseconds);
        return;
    }
    owed_ += microseconds;
    if (owed_ < 1000)
        return;
    const auto milliseconds = static_cast<std::uint32_t>(owed_ / 1000);
    const std::int64_t frequency = clock_.counterFrequency();
    if (frequency <= 0) {
        // Without a counter the sleep is all we can know of.
        clock_.sleep(milliseconds);
        owed_ -= std::int64_t{milliseconds} * 1000;
        return;
    }
    const std::int64_t before = clock_.counterValue();
    clock_.sleep(milliseconds);
    const std::int64_t counts = clock_.counterValue() - before;
    owed_ -= counts / frequency * 1'000'000 + counts % frequency * 1'000'000 / frequency;
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
