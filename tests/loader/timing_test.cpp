#include "loader/timing.h"

#include "tests/support/virtual_clock_fixture.h"

namespace {

using Timing = VirtualClockFixture;

TEST_F(Timing, ZeroDelayReturnsWithoutWaiting)
{
    preciseDelay(0);
    EXPECT_LT(clock.nowMicroseconds(), 100);
}

TEST_F(Timing, DelayNeverEndsEarlyEvenWhenSleepDoes)
{
    for (std::uint32_t shortfall : {0U, 1U, 15U, 1000U}) {
        SCOPED_TRACE(shortfall);
        clock.setSleepShortfall(shortfall);
        const std::int64_t start = clock.nowMicroseconds();
        preciseDelay(1000);
        const std::int64_t elapsed = clock.nowMicroseconds() - start;
        EXPECT_GE(elapsed, 1'000'000);
        EXPECT_LT(elapsed, 1'000'100);  // the spin makes up the shortfall, no more
    }
}

// A clock whose counter is missing: the delay is the sleep alone.
class NoCounterClock : public platform::VirtualClock {
public:
    std::int64_t counterFrequency() override { return 0; }
};

TEST(TimingWithoutCounter, DelayIsTheSleepAlone)
{
    NoCounterClock clock;
    platform::ScopedServices services({&clock, nullptr});
    preciseDelay(250);
    ASSERT_EQ(clock.sleeps().size(), 1U);
    EXPECT_EQ(clock.sleeps()[0], 250U);
    EXPECT_EQ(clock.nowMicroseconds(), 250'000);
}

TEST_F(Timing, TickCountWrapsAfterTwoToTheThirtyTwoMilliseconds)
{
    clock.setNowMicroseconds((std::int64_t{1} << 32) * 1000 - 1000);
    EXPECT_EQ(tickCount(), 0xFFFFFFFFU);
    clock.advance(1);
    EXPECT_EQ(tickCount(), 0U);
}

}  // namespace
