#include "platform/doorbell.h"

#include <algorithm>
#include <chrono>

#include "platform/request_wait.h"
#include "platform/stop_signals.h"

namespace platform {

void Clock::waitForRing(Doorbell &bell, std::uint32_t milliseconds) { bell.realWait(milliseconds); }

void Doorbell::ring()
{
    {
        // Under the lock, so that a waiter between its look and its wait
        // cannot miss it.
        const std::lock_guard<std::mutex> guard(mutex_);
        rung_ = true;
    }
    rang_.notify_all();
    clock_.rang(*this);
}

bool Doorbell::wait(std::uint32_t milliseconds)
{
    if (!rung_)
        clock_.waitForRing(*this, milliseconds);
    return rung_.exchange(false);
}

bool Doorbell::waitInRealTime(std::uint32_t milliseconds)
{
    realWait(milliseconds);
    return rung_.exchange(false);
}

void Doorbell::realWait(std::uint32_t milliseconds)
{
    using Steady = std::chrono::steady_clock;
    const Steady::time_point end = Steady::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(mutex_);
    // In steps, so that a stop (which a signal handler notes and cannot
    // ring for) ends the wait soon.
    while (!rung_ && stopRequest() == 0) {
        const Steady::time_point now = Steady::now();
        if (now >= end)
            break;
        rang_.wait_for(lock, std::min<Steady::duration>(end - now, std::chrono::milliseconds(waitStepMilliseconds)));
    }
}

}  // namespace platform
