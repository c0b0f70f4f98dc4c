// Several threads on one virtual clock: time goes on once each of them
// waits, to the earliest moment one waits for, so that work done at once
// takes the time of the longest; a bell rung by one wakes another at that
// moment.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/doorbell.h"
#include "platform/virtual/virtual_clock.h"

namespace {

using platform::Doorbell;
using platform::SharedTimeThread;
using platform::VirtualClock;

TEST(SharedTime, ThreadsThatWaitAtOnceTakeTheTimeOfTheLongest)
{
    VirtualClock clock;
    // Each thread waits in steps; the times it saw after each step.
    const std::vector<std::vector<std::int64_t>> steps = {{100, 100, 100}, {250}, {50, 400}};
    std::vector<std::vector<std::int64_t>> seen(steps.size());
    // Every thread is counted before any starts: one that ran alone first
    // would see its time pass at once.
    std::vector<SharedTimeThread> seats;
    seats.reserve(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i)
        seats.emplace_back(clock);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        threads.emplace_back([&, i, seat = std::move(seats[i])]() mutable {
            seat.enter();
            for (const std::int64_t step : steps[i]) {
                clock.pass(step * 1000);
                seen[i].push_back(clock.nowMicroseconds() / 1000);
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(seen[0], (std::vector<std::int64_t>{100, 200, 300}));
    EXPECT_EQ(seen[1], (std::vector<std::int64_t>{250}));
    EXPECT_EQ(seen[2], (std::vector<std::int64_t>{50, 450}));
    EXPECT_EQ(clock.nowMicroseconds(), 450'000) << "the longest, not the sum";
    // Alone again, a thread's time passes at once.
    clock.sleep(10);
    EXPECT_EQ(clock.nowMicroseconds(), 460'000);
}

TEST(SharedTime, AThreadCountedBeforeItStartsHoldsTimeBackUntilItRuns)
{
    VirtualClock clock;
    SharedTimeThread main(clock);
    main.enter();
    SharedTimeThread late(clock);  // counted now, started later
    std::int64_t startedAt = -1;
    std::thread thread([&, late = std::move(late)]() mutable {
        late.enter();
        startedAt = clock.nowMicroseconds();
        clock.pass(30'000);
    });
    // Without the count, this wait would have run ahead to its end alone.
    clock.pass(100'000);
    thread.join();
    EXPECT_EQ(startedAt, 0);
    EXPECT_EQ(clock.nowMicroseconds(), 100'000);
}

TEST(SharedTime, ABellWakesItsWaiterAtTheMomentItRings)
{
    VirtualClock clock;
    Doorbell bell(clock);
    SharedTimeThread main(clock);
    main.enter();
    SharedTimeThread ringer(clock);
    std::thread thread([&, ringer = std::move(ringer)]() mutable {
        ringer.enter();
        clock.pass(200'000);
        bell.ring();
        clock.pass(5'000'000);  // goes on long after
    });
    EXPECT_TRUE(bell.wait(1000));
    EXPECT_EQ(clock.nowMicroseconds(), 200'000);
    // Not rung again: the wait takes its whole time, while the other waits on.
    EXPECT_FALSE(bell.wait(1000));
    EXPECT_EQ(clock.nowMicroseconds(), 1'200'000);
    main.leave();
    thread.join();
    EXPECT_EQ(clock.nowMicroseconds(), 5'200'000);
}

}  // namespace
