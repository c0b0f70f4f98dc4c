#include "platform/posix/system_clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

std::int64_t monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

std::uint32_t SystemClock::tickCount()
{
    return static_cast<std::uint32_t>(monotonicNanoseconds() / 1'000'000);
}

std::int64_t SystemClock::counterValue() { return monotonicNanoseconds(); }

void SystemClock::sleep(std::uint32_t milliseconds)
{
    timespec wanted{static_cast<time_t>(milliseconds / 1000),
                    static_cast<long>(milliseconds % 1000) * 1'000'000};
    // A signal may cut the sleep short; callers that need the whole delay
    // (preciseDelay) make up the rest themselves.
    nanosleep(&wanted, nullptr);
}

}  // namespace platform
