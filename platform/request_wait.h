#pragma once

// How every backend waits for a request on a device: in short steps, so
// that a stop the user asks for ends the wait at once, and a wait that goes
// on is told to whoever shows it.

#include <cstdint>
#include <functional>

#include "platform/usb_backend.h"

namespace platform {

// Told of a wait on a device that goes on: once per wait, after
// stillWaitingAfter milliseconds without an answer.
class WaitObserver {
public:
    virtual ~WaitObserver() = default;
    virtual void stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds) = 0;
};

inline constexpr std::uint32_t stillWaitingAfter = 2000;
// The longest step: a stop ends a wait at most this long after it came.
inline constexpr std::uint32_t waitStepMilliseconds = 20;

// The calling thread's observer, or null; a program sets one on each
// thread that works on an adapter.
WaitObserver *waitObserver();
void setWaitObserver(WaitObserver *observer);

// Makes `observer` the calling thread's for as long as it lives.
class ScopedWaitObserver {
public:
    explicit ScopedWaitObserver(WaitObserver *observer) : previous_(waitObserver()) { setWaitObserver(observer); }
    ~ScopedWaitObserver() { setWaitObserver(previous_); }
    ScopedWaitObserver(const ScopedWaitObserver &) = delete;
    ScopedWaitObserver &operator=(const ScopedWaitObserver &) = delete;

private:
    WaitObserver *previous_;
};

// Counts a wait's time for its observer: tells it once, after
// stillWaitingAfter milliseconds, for backends that wait their own way.
class WaitTally {
public:
    explicit WaitTally(std::uint32_t timeoutMilliseconds) : timeout_(timeoutMilliseconds) {}
    void passed(std::uint32_t milliseconds);

private:
    std::uint32_t timeout_;
    std::uint32_t waited_ = 0;
    bool told_ = false;
};

// Waits for a request for at most `timeoutMilliseconds`: `waitStep(ms)`
// waits at most that long, true once the request has completed; `now()` is
// the backend's millisecond tick. A time-out of 0 still looks once.
WaitOutcome waitInSteps(std::uint32_t timeoutMilliseconds, const std::function<std::uint32_t()> &now,
                        const std::function<bool(std::uint32_t)> &waitStep);

}  // namespace platform
