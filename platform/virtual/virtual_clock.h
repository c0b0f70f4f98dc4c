#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace platform {

// A clock that only moves when something waits on it. Sleeps and device
// time-outs advance it at once, so a test can run a minute of waiting in no
// time and still assert exact elapsed times.
class VirtualClock : public Clock {
public:
    static constexpr std::int64_t frequency = 1'000'000;  // counter counts microseconds

    std::uint32_t tickCount() override;
    std::int64_t counterFrequency() override { return frequency; }
    std::int64_t counterValue() override;
    void sleep(std::uint32_t milliseconds) override;

    // Moves time on without a sleep (a device taking its time).
    void advanceMicroseconds(std::int64_t microseconds) { now_ += microseconds; }
    void advance(std::uint32_t milliseconds) { now_ += std::int64_t{milliseconds} * 1000; }
    std::int64_t nowMicroseconds() const { return now_; }
    void setNowMicroseconds(std::int64_t now) { now_ = now; }

    // Makes every sleep come back this many milliseconds early, as some
    // systems' sleeps do.
    void setSleepShortfall(std::uint32_t milliseconds) { sleepShortfall_ = milliseconds; }
    // Every counter read moves time on by this much, so that busy waits end.
    void setCounterReadCost(std::int64_t microseconds) { counterReadCost_ = microseconds; }

    // The durations asked of sleep(), in order.
    const std::vector<std::uint32_t> &sleeps() const { return sleeps_; }
    void clearSleeps() { sleeps_.clear(); }

private:
    std::int64_t now_ = 0;
    std::uint32_t sleepShortfall_ = 0;
    std::int64_t counterReadCost_ = 1;
    std::vector<std::uint32_t> sleeps_;
};

}  // namespace platform
