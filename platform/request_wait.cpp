#include "platform/request_wait.h"

#include <algorithm>

#include "platform/stop_signals.h"

namespace platform {

namespace {

thread_local WaitObserver *observer = nullptr;

}  // namespace

WaitObserver *waitObserver() { return observer; }

void setWaitObserver(WaitObserver *newObserver) { observer = newObserver; }

void WaitTally::passed(std::uint32_t milliseconds)
{
    waited_ += milliseconds;
    if (told_ || waited_ < stillWaitingAfter || waited_ >= timeout_ || !observer)
        return;
    told_ = true;
    observer->stillWaiting(waited_, timeout_ - waited_);
}

WaitOutcome waitInSteps(std::uint32_t timeoutMilliseconds, const std::function<std::uint32_t()> &now,
                        const std::function<bool(std::uint32_t)> &waitStep)
{
    const std::uint32_t start = now();
    WaitTally tally(timeoutMilliseconds);
    std::uint32_t counted = 0;
    for (;;) {
        if (stopRequest() != 0)
            return WaitOutcome::stopped;
        const std::uint32_t waited = now() - start;
        const std::uint32_t left = waited < timeoutMilliseconds ? timeoutMilliseconds - waited : 0;
        if (waitStep(std::min(left, waitStepMilliseconds)))
            return WaitOutcome::completed;
        const std::uint32_t waitedNow = now() - start;
        if (waitedNow >= timeoutMilliseconds)
            return stopRequest() != 0 ? WaitOutcome::stopped : WaitOutcome::timedOut;
        tally.passed(waitedNow - counted);
        counted = waitedNow;
    }
}

}  // namespace platform
