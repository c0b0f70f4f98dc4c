#include "platform/virtual/virtual_clock.h"

namespace platform {

std::uint32_t VirtualClock::tickCount() { return static_cast<std::uint32_t>(now_ / 1000); }

std::int64_t VirtualClock::counterValue()
{
    now_ += counterReadCost_;
    return now_;
}

void VirtualClock::sleep(std::uint32_t milliseconds)
{
    sleeps_.push_back(milliseconds);
    const std::uint32_t slept = milliseconds > sleepShortfall_ ? milliseconds - sleepShortfall_ : 0;
    now_ += std::int64_t{slept} * 1000;
}

}  // namespace platform
