// A recording of several adapters worked on at once, replayed by threads in
// whatever order they come: each lane answered from its own calls.

#include <gtest/gtest.h>

#include <thread>

#include "platform/device_call.h"
#include "platform/doorbell.h"
#include "recording/session_replay.h"

namespace {

using recording::Exchange;
using recording::Operation;

Exchange slotIn(unsigned lane, recording::HandleId handle, std::int64_t elapsed)
{
    Exchange e;
    e.operation = Operation::slot;
    e.lane = lane;
    e.handle = handle;
    e.elapsedMicroseconds = elapsed;
    return e;
}

std::shared_ptr<recording::SessionReplay> twoLanes()
{
    recording::Recording r;
    // Lane 1 made slots 1 and 3 at 10 and 30 ms, lane 2 slot 2 at 20 ms.
    r.exchanges = {slotIn(1, 1, 10'000), slotIn(2, 2, 10'000), slotIn(1, 3, 10'000)};
    return recording::SessionReplay::create(std::move(r));
}

// The slots a lane is given, and when, from a thread of its own.
struct LaneRun {
    std::vector<platform::Handle> slots;
    std::vector<std::int64_t> at;
};

TEST(ReplayLanes, EachLaneIsAnsweredFromItsOwnCallsAtTheirRecordedTimes)
{
    for (const bool secondLaneFirst : {false, true}) {
        SCOPED_TRACE(secondLaneFirst);
        const auto replay = twoLanes();
        platform::Clock &clock = replay->clock();
        LaneRun runs[2];
        const auto run = [&](unsigned lane, int slots) {
            const platform::ScopedCallLane inLane(lane);
            for (int i = 0; i < slots; ++i) {
                runs[lane - 1].slots.push_back(replay->createRequestSlot());
                runs[lane - 1].at.push_back(platform::microsecondsNow(clock));
            }
        };
        platform::SharedTimeThread first(clock), second(clock);
        std::thread one([&, seat = std::move(first)]() mutable {
            seat.enter();
            if (secondLaneFirst)
                std::this_thread::yield();
            run(1, 2);
        });
        std::thread two([&, seat = std::move(second)]() mutable {
            seat.enter();
            run(2, 1);
        });
        one.join();
        two.join();
        EXPECT_EQ(runs[0].slots, (std::vector<platform::Handle>{1, 3}));
        EXPECT_EQ(runs[1].slots, (std::vector<platform::Handle>{2}));
        EXPECT_EQ(runs[0].at, (std::vector<std::int64_t>{10'000, 30'000}));
        EXPECT_EQ(runs[1].at, (std::vector<std::int64_t>{20'000}));
        EXPECT_EQ(replay->verdict(), std::nullopt);
    }
}

TEST(ReplayLanes, ACallInALaneTheRecordingDoesNotHaveDiverges)
{
    const auto replay = twoLanes();
    const platform::ScopedCallLane inLane(3);
    EXPECT_EQ(replay->createRequestSlot(), platform::invalidHandle);
    EXPECT_EQ(replay->divergence(), "replay diverged at exchange 4 (in the work on adapter 3): recorded nothing "
                                    "more, asked for a request slot");
}

}  // namespace
