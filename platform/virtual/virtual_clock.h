#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace platform {

// A clock that only moves when something waits on it. Sleeps and device
// time-outs advance it at once, so a test can run a minute of waiting in no
// time and still assert exact elapsed times.
//
// Threads that share it (Clock::expectThread) wait their turn instead: time
// goes on only once each of them waits, to the earliest moment one of them
// waits for, so that their work takes the time it would take at once.
class VirtualClock : public Clock {
public:
    static constexpr std::int64_t frequency = 1'000'000;  // counter counts microseconds

    VirtualClock() = default;
    VirtualClock(const VirtualClock &) = delete;
    VirtualClock &operator=(const VirtualClock &) = delete;

    std::uint32_t tickCount() override;
    std::int64_t counterFrequency() override { return frequency; }
    std::int64_t counterValue() override;
    void sleep(std::uint32_t milliseconds) override;

    // Lets time go by for the calling thread: at once, or in its turn
    // when it shares the clock with others.
    void pass(std::int64_t microseconds);
    // Moves time on at once, whoever waits (a test's hand on the clock).
    void advanceMicroseconds(std::int64_t microseconds);
    void advance(std::uint32_t milliseconds) { advanceMicroseconds(std::int64_t{milliseconds} * 1000); }
    std::int64_t nowMicroseconds() const;
    void setNowMicroseconds(std::int64_t now);

    // Makes every sleep come back this many milliseconds early, as some
    // systems' sleeps do.
    void setSleepShortfall(std::uint32_t milliseconds) { sleepShortfall_ = milliseconds; }
    // Every counter read moves time on by this much, so that busy waits end.
    void setCounterReadCost(std::int64_t microseconds) { counterReadCost_ = microseconds; }

    // The durations asked of sleep(), in order; a clock that is slept on
    // all day keeps none.
    const std::vector<std::uint32_t> &sleeps() const { return sleeps_; }
    void clearSleeps() { sleeps_.clear(); }
    void keepSleeps(bool keep) { keepSleeps_ = keep; }

    void expectThread() override;
    void forgetExpectedThread() override;
    void enterThread() override;
    void leaveThread() override;
    void waitForRing(Doorbell &bell, std::uint32_t milliseconds) override;
    void rang(Doorbell &bell) override;

private:
    // A thread that waits for its time, or for a bell.
    struct Waiter {
        std::int64_t wakeAt;
        const Doorbell *bell;
        bool released = false;
    };

    bool sharing() const;
    // Waits, as a thread that shares the clock, until `wakeAt` or the bell.
    void waitTurn(std::unique_lock<std::mutex> &lock, std::int64_t wakeAt, const Doorbell *bell);
    // Releases the waiters whose time has come; once every sharing thread
    // waits, moves time on to the earliest of them first.
    void moveOn();

    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::int64_t now_ = 0;
    std::uint32_t sleepShortfall_ = 0;
    std::int64_t counterReadCost_ = 1;
    bool keepSleeps_ = true;
    std::vector<std::uint32_t> sleeps_;
    int sharers_ = 0;  // expected and entered threads
    std::list<Waiter *> waiters_;
};

}  // namespace platform
