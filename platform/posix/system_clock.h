#pragma once

#include "platform/clock.h"

namespace platform {

// Time on the monotonic clock, which no change of the wall clock disturbs.
class SystemClock : public Clock {
public:
    std::uint32_t tickCount() override;
    std::int64_t counterFrequency() override { return 1'000'000'000; }
    std::int64_t counterValue() override;
    void sleep(std::uint32_t milliseconds) override;
};

}  // namespace platform
