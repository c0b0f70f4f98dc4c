#pragma once

#include <cstdint>

namespace platform {

class Doorbell;

// Time as the system gives it.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the system started; wraps after 2^32 ms.
    virtual std::uint32_t tickCount() = 0;
    // Counts per second of the high-resolution counter; 0 when there is none.
    virtual std::int64_t counterFrequency() = 0;
    virtual std::int64_t counterValue() = 0;
    // Suspends the thread; may come back early on some systems.
    virtual void sleep(std::uint32_t milliseconds) = 0;

    // Threads that work at once on one clock. On the system's clock each
    // thread's waits take their own time, and these do nothing. A virtual
    // clock's time moves only when something waits; there, time goes on
    // only once every thread that shares it waits, to the earliest moment
    // one of them waits for, so that work done at once in several threads
    // takes the time of the longest, as it would on the system's clock.
    //
    // A thread that will share the clock is counted by the thread that
    // starts it, before it starts (expectThread), so that no time goes by
    // before it runs; it takes its place itself (enterThread) and leaves it
    // when it is done with the clock (leaveThread); a thread that never ran
    // is given up by the one that counted it (forgetExpectedThread).
    // platform::SharedTimeThread does these.
    virtual void expectThread() {}
    virtual void forgetExpectedThread() {}
    virtual void enterThread() {}
    virtual void leaveThread() {}

    // Waits until the bell rings, `milliseconds` go by on this clock, or
    // the user asks for a stop. The system's clocks wait in real time, on
    // the bell itself.
    virtual void waitForRing(Doorbell &bell, std::uint32_t milliseconds);
    // The bell, which is waited on with this clock, has rung.
    virtual void rang(Doorbell & /*bell*/) {}
};

}  // namespace platform
