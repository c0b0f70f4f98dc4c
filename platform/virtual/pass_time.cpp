#include "platform/virtual/pass_time.h"

#include "platform/virtual/virtual_clock.h"

namespace platform {

void passTime(Clock &clock, std::int64_t microseconds)
{
    if (microseconds <= 0)
        return;
    if (auto *virtualClock = dynamic_cast<VirtualClock *>(&clock)) {
        virtualClock->advanceMicroseconds(microseconds);
        return;
    }
    // A real clock sleeps in whole milliseconds; fractions are carried over.
    static thread_local std::int64_t carried = 0;
    carried += microseconds;
    if (carried >= 1000) {
        clock.sleep(static_cast<std::uint32_t>(carried / 1000));
        carried %= 1000;
    }
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
