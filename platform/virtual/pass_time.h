#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Lets simulated device time go by: at once on the virtual clock, for real on
// any other clock (the demo's), so that an install takes as long as it would.
void passTime(Clock &clock, std::int64_t microseconds);

// The clock's time in microseconds. Reading the virtual clock this way does
// not move it, as reading its counter does.
std::int64_t microsecondsNow(Clock &clock);

}  // namespace platform
