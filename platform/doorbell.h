#pragma once

// A bell that one thread rings and another waits for, with a time limit on
// a clock: the station waits so for an adapter to arrive or a work to end,
// and wakes at once when it comes.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace platform {

class Doorbell {
public:
    // Waited on with `clock`, whose time limits the waits.
    explicit Doorbell(Clock &clock) : clock_(clock) {}
    Doorbell(const Doorbell &) = delete;
    Doorbell &operator=(const Doorbell &) = delete;

    // From any thread but a signal handler; a ring is kept until a wait
    // takes it.
    void ring();
    // Waits until the bell rings, `milliseconds` go by on its clock, or the
    // user asks for a stop; true when it rang, and the ring is taken.
    bool wait(std::uint32_t milliseconds);
    // Waits so in real time, whatever the clock: for a clock whose time
    // stands still, and for the system's clocks.
    bool waitInRealTime(std::uint32_t milliseconds);

    bool rung() const { return rung_.load(); }
    // For clocks that wait their own way: waits in real time without
    // taking the ring.
    void realWait(std::uint32_t milliseconds);

private:
    Clock &clock_;
    std::atomic<bool> rung_{false};
    std::mutex mutex_;
    std::condition_variable rang_;
};

// A thread that shares its clock's time with others (Clock::expectThread):
// made by the thread that starts it, before it starts, and entered by the
// thread itself, which leaves it when the object goes.
class SharedTimeThread {
public:
    explicit SharedTimeThread(Clock &clock) : clock_(&clock) { clock_->expectThread(); }
    SharedTimeThread(SharedTimeThread &&other) noexcept : clock_(other.clock_), state_(other.state_)
    {
        other.clock_ = nullptr;
    }
    SharedTimeThread(const SharedTimeThread &) = delete;
    SharedTimeThread &operator=(const SharedTimeThread &) = delete;
    SharedTimeThread &operator=(SharedTimeThread &&) = delete;
    ~SharedTimeThread() { leave(); }

    // On the thread itself, first.
    void enter()
    {
        if (clock_ && state_ == State::expected) {
            clock_->enterThread();
            state_ = State::entered;
        }
    }
    // Done with the clock: time goes on without this thread.
    void leave()
    {
        if (!clock_ || state_ == State::left)
            return;
        if (state_ == State::expected)
            clock_->forgetExpectedThread();  // it never ran: the thread that counted it gives it up
        else
            clock_->leaveThread();
        state_ = State::left;
    }

private:
    enum class State { expected, entered, left };
    Clock *clock_;
    State state_ = State::expected;
};

}  // namespace platform
