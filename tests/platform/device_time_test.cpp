#include "platform/virtual/device_time.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/virtual/virtual_clock.h"

#include "tests/support/overshooting_clock.h"

namespace {

struct PaceCase {
    std::int64_t overshoot;  // of every sleep, in microseconds
    std::int64_t step;       // device time passed at once, in microseconds
};

void PrintTo(const PaceCase &c, std::ostream *os) { *os << c.step << " us steps, sleeps " << c.overshoot << " us too long"; }

class DevicePace : public testing::TestWithParam<PaceCase> {};

TEST_P(DevicePace, RealTimeKeepsToTheModelWithinOnePercent)
{
    OvershootingClock clock(GetParam().overshoot);
    platform::DeviceTime time(clock);
    const std::int64_t model = 2'000'000;
    for (std::int64_t passed = 0; passed < model; passed += GetParam().step)
        time.pass(GetParam().step);
    EXPECT_NEAR(static_cast<double>(clock.nowMicroseconds()), static_cast<double>(model), model * 0.01);
    EXPECT_GT(clock.sleeps(), 0);
}

INSTANTIATE_TEST_SUITE_P(Overshoots, DevicePace,
                         testing::Values(PaceCase{0, 1500}, PaceCase{80, 1000}, PaceCase{300, 1500}, PaceCase{300, 250},
                                         PaceCase{900, 1200}, PaceCase{2500, 7000}));

// Two buses on one thread, each on its own clock: what one owes is not paid
// on the other's.
TEST(DeviceTimePerBus, EachKeepsItsOwnAccount)
{
    OvershootingClock first(0), second(0);
    platform::DeviceTime firstTime(first), secondTime(second);
    for (int i = 0; i < 1000; ++i) {
        firstTime.pass(600);
        secondTime.pass(900);
    }
    EXPECT_NEAR(static_cast<double>(first.nowMicroseconds()), 600'000.0, 1000.0);
    EXPECT_NEAR(static_cast<double>(second.nowMicroseconds()), 900'000.0, 1000.0);
}

// A replay's recorded times may be anything: the longest a clock sleeps is
// taken, and the rest stays owed without overflowing.
TEST(DeviceTimeBounds, AnyAmountPassesWithoutOverflow)
{
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    OvershootingClock clock(0);
    platform::DeviceTime time(clock);
    time.pass(largest);
    time.pass(largest);
    EXPECT_EQ(clock.sleeps(), 2);
    EXPECT_EQ(clock.nowMicroseconds(), 2 * std::int64_t{std::numeric_limits<std::uint32_t>::max()} * 1000);
    EXPECT_EQ(time.nowMicroseconds(), largest);

    platform::VirtualClock virtualClock;
    platform::DeviceTime virtualTime(virtualClock);
    virtualTime.pass(largest);
    virtualTime.pass(largest);
    EXPECT_EQ(virtualClock.nowMicroseconds(), largest);
}

}  // namespace
