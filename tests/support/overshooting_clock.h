#pragma once

#include <cstdint>

#include "platform/clock.h"

// A clock that stands in for a real one: time moves only when it sleeps, and
// every sleep lasts longer than asked, as a real system's sleeps do. Reading
// the counter costs nothing, so nothing may spin on it.
class OvershootingClock : public platform::Clock {
public:
    explicit OvershootingClock(std::int64_t overshootMicroseconds) : overshoot_(overshootMicroseconds) {}

    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now_ / 1000); }
    std::int64_t counterFrequency() override { return 1'000'000; }
    std::int64_t counterValue() override { return now_; }
    void sleep(std::uint32_t milliseconds) override
    {
        now_ += std::int64_t{milliseconds} * 1000 + overshoot_;
        ++sleeps_;
    }

    std::int64_t nowMicroseconds() const { return now_; }
    int sleeps() const { return sleeps_; }

private:
    std::int64_t overshoot_;
    std::int64_t now_ = 0;
    int sleeps_ = 0;
};
