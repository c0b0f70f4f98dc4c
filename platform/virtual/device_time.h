#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Lets simulated device time go by on a clock: at once on the virtual clock,
// for real on any other clock (the demo's), so that an install takes as long
// as it would. Each bus (and each direct loader link) keeps its own. Several
// threads may pass time on one: each sleeps its own, and what is owed is
// each thread's.
class DeviceTime {
public:
    explicit DeviceTime(Clock &clock);

    void pass(std::int64_t microseconds);
    // The device's time, in microseconds: the clock's, plus what has been
    // passed and not yet slept, so that the device's own deadlines keep to
    // the model however its sleeps are rounded.
    std::int64_t nowMicroseconds();

private:
    // Time the model is owed the calling thread (positive) or has been given
    // beyond what it asked (negative). A real clock sleeps in whole
    // milliseconds and every sleep overshoots a little; both are settled in
    // the next sleep, so that the error does not add up over the thousands
    // of sleeps of an install.
    std::int64_t &owed();

    Clock &clock_;
    std::uint64_t id_;  // which of a thread's owed times is this one's
};

// a + b in microseconds, held at the ends of the range instead of
// overflowing: times from a file or a simulated adapter's setup may be
// anything, and a time that far out is never reached anyway.
std::int64_t saturatingSum(std::int64_t a, std::int64_t b);

// The clock's time in microseconds. Reading the virtual clock this way does
// not move it, as reading its counter does.
std::int64_t microsecondsNow(Clock &clock);

}  // namespace platform
