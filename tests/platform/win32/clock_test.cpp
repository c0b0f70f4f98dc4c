// The Win32 clock under preciseDelay, which must never return early.

#include <gtest/gtest.h>

#include "loader/timing.h"
#include "platform/platform.h"

namespace {

TEST(Win32Clock, PreciseDelayNeverEndsBeforeItsTimeOnThePerformanceCounter)
{
    platform::Clock &clock = *platform::nativeServices().clock;
    platform::ScopedServices services({&clock, nullptr});
    const std::int64_t frequency = clock.counterFrequency();
    ASSERT_GT(frequency, 0);
    for (unsigned milliseconds : {1U, 15U, 40U}) {
        const std::int64_t start = clock.counterValue();
        preciseDelay(milliseconds);
        EXPECT_GE(clock.counterValue() - start, std::int64_t{milliseconds} * frequency / 1000) << milliseconds;
    }
}

}  // namespace
