#pragma once

#include "platform/clock.h"

namespace platform {

// Time from the Windows tick count and the performance counter.
class Win32Clock : public Clock {
public:
    std::uint32_t tickCount() override;
    std::int64_t counterFrequency() override;
    std::int64_t counterValue() override;
    void sleep(std::uint32_t milliseconds) override;
};

}  // namespace platform
