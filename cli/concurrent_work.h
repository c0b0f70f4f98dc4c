#pragma once

// The work on several adapters at once: each in a thread of its own, with
// its own link, its own lane of device calls (platform::callLane, which a
// recording keeps) and its own slot in the report; their results as each
// one ends. A stop the user asks for stops every one of them, each at its
// next stop point, and each is reported interrupted.

#include <cstddef>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/report.h"
#include "platform/doorbell.h"
#include "update/adapter_work.h"

class ConcurrentWork {
public:
    struct Ended {
        unsigned lane;
        AdapterResult result;
    };

    // Each work that ends rings `bell`.
    ConcurrentWork(Report &report, Work work, bool passOverUnsupported, platform::Doorbell &bell);
    // Waits for the threads. A thread that shares the clock's time with them
    // (Clock::expectThread) waits on the bell until underWay() is 0 first:
    // the threads' time cannot go on while it waits here.
    ~ConcurrentWork();
    ConcurrentWork(const ConcurrentWork &) = delete;
    ConcurrentWork &operator=(const ConcurrentWork &) = delete;

    // Starts the work on `adapters` in the next lane (1, 2, ...), one after
    // the other in one thread: adapters that cannot be told apart by their
    // place are never worked on at once. Returns the lane.
    unsigned start(DeviceList adapters);
    // The results that ended since last asked, in the order they ended.
    std::vector<Ended> takeEnded();
    // Lanes whose work has not ended.
    std::size_t underWay() const;

private:
    void run(unsigned lane, const DeviceList &adapters);

    Report &report_;
    Work work_;
    bool passOverUnsupported_;
    platform::Doorbell &bell_;
    unsigned lastLane_ = 0;
    // The command's thread's alone:
    std::map<unsigned, std::thread> threads_;
    std::size_t unreported_ = 0;  // adapters whose results it has not taken
    mutable std::mutex mutex_;  // over what follows
    std::vector<Ended> ended_;
    std::vector<unsigned> finished_;  // lanes whose thread is done with the work, not yet joined
    std::size_t running_ = 0;
};
