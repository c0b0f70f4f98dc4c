#include "platform/virtual/virtual_clock.h"

#include <algorithm>

#include "platform/doorbell.h"

namespace platform {

namespace {

// The virtual clock whose time the calling thread shares, if any.
thread_local const VirtualClock *sharedBy = nullptr;

}  // namespace

std::uint32_t VirtualClock::tickCount()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<std::uint32_t>(now_ / 1000);
}

std::int64_t VirtualClock::counterValue()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    now_ += counterReadCost_;
    moveOn();
    return now_;
}

void VirtualClock::sleep(std::uint32_t milliseconds)
{
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (keepSleeps_)
            sleeps_.push_back(milliseconds);
    }
    const std::uint32_t slept = milliseconds > sleepShortfall_ ? milliseconds - sleepShortfall_ : 0;
    pass(std::int64_t{slept} * 1000);
}

void VirtualClock::pass(std::int64_t microseconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const std::int64_t wakeAt = now_ + std::max<std::int64_t>(microseconds, 0);
    if (sharing()) {
        waitTurn(lock, wakeAt, nullptr);
        return;
    }
    now_ = wakeAt;
    moveOn();
}

void VirtualClock::advanceMicroseconds(std::int64_t microseconds)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    now_ += microseconds;
    moveOn();
}

std::int64_t VirtualClock::nowMicroseconds() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return now_;
}

void VirtualClock::setNowMicroseconds(std::int64_t now)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    now_ = now;
    moveOn();
}

bool VirtualClock::sharing() const { return sharedBy == this; }

void VirtualClock::expectThread()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    ++sharers_;
}

void VirtualClock::forgetExpectedThread()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    --sharers_;
    moveOn();
}

void VirtualClock::enterThread() { sharedBy = this; }

void VirtualClock::leaveThread()
{
    sharedBy = nullptr;
    const std::lock_guard<std::mutex> guard(mutex_);
    --sharers_;
    moveOn();
}

void VirtualClock::waitForRing(Doorbell &bell, std::uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!sharing()) {
        // No turn to wait for: a thread outside the clock's time waits in
        // real time.
        lock.unlock();
        bell.realWait(milliseconds);
        return;
    }
    waitTurn(lock, now_ + std::int64_t{milliseconds} * 1000, &bell);
}

void VirtualClock::rang(Doorbell &)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    moveOn();
}

void VirtualClock::waitTurn(std::unique_lock<std::mutex> &lock, std::int64_t wakeAt, const Doorbell *bell)
{
    Waiter me{wakeAt, bell};
    waiters_.push_back(&me);
    moveOn();
    released_.wait(lock, [&] { return me.released; });
    waiters_.remove(&me);
}

void VirtualClock::moveOn()
{
    const auto due = [this](const Waiter *waiter) {
        return waiter->wakeAt <= now_ || (waiter->bell && waiter->bell->rung());
    };
    int waiting = 0;
    bool released = false;
    for (Waiter *waiter : waiters_) {
        if (waiter->released)
            continue;
        if (due(waiter)) {
            waiter->released = true;
            released = true;
        } else {
            ++waiting;
        }
    }
    // Every thread that shares the clock waits: the earliest goes on.
    if (!released && waiting > 0 && waiting >= sharers_) {
        std::int64_t earliest = now_;
        bool first = true;
        for (const Waiter *waiter : waiters_)
            if (!waiter->released && (first || waiter->wakeAt < earliest)) {
                earliest = waiter->wakeAt;
                first = false;
            }
        now_ = std::max(now_, earliest);
        for (Waiter *waiter : waiters_)
            if (!waiter->released && due(waiter)) {
                waiter->released = true;
                released = true;
            }
    }
    if (released)
        released_.notify_all();
}

}  // namespace platform
