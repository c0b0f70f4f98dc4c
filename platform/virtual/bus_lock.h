#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace platform {

// The lock over a virtual bus's state. A thread that holds it may take it
// again (the bus's parts call each other, and a simulated line's schedule
// plugs devices in and out while the bus reads its time), and gives it up
// whole while it lets device time go by, so that other threads' devices
// work meanwhile.
class BusLock {
public:
    void lock()
    {
        if (owner_.load() == std::this_thread::get_id()) {
            ++depth_;
            return;
        }
        mutex_.lock();
        owner_ = std::this_thread::get_id();
        depth_ = 1;
    }
    void unlock()
    {
        if (--depth_ == 0) {
            owner_ = std::thread::id();
            mutex_.unlock();
        }
    }

    // Gives the lock up whole, if the calling thread holds it; what it
    // held, for takeBack().
    int giveUp()
    {
        if (owner_.load() != std::this_thread::get_id())
            return 0;
        const int held = depth_;
        depth_ = 0;
        owner_ = std::thread::id();
        mutex_.unlock();
        return held;
    }
    void takeBack(int held)
    {
        if (held == 0)
            return;
        mutex_.lock();
        owner_ = std::this_thread::get_id();
        depth_ = held;
    }

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;  // the owner's alone
};

// Holds a bus's lock for as long as it lives.
class BusGuard {
public:
    explicit BusGuard(BusLock &lock) : lock_(lock) { lock_.lock(); }
    ~BusGuard() { lock_.unlock(); }
    BusGuard(const BusGuard &) = delete;
    BusGuard &operator=(const BusGuard &) = delete;

private:
    BusLock &lock_;
};

// Gives a held bus lock up for as long as it lives.
class BusLockGivenUp {
public:
    explicit BusLockGivenUp(BusLock &lock) : lock_(lock), held_(lock.giveUp()) {}
    ~BusLockGivenUp() { lock_.takeBack(held_); }
    BusLockGivenUp(const BusLockGivenUp &) = delete;
    BusLockGivenUp &operator=(const BusLockGivenUp &) = delete;

private:
    BusLock &lock_;
    int held_;
};

}  // namespace platform
