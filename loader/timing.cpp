#include "loader/timing.h"

#include "platform/platform.h"

void preciseDelay(unsigned milliseconds)
{
    platform::Clock &clock = platform::clock();
    const std::int64_t frequency = clock.counterFrequency();
    std::int64_t deadline = 0;
    if (frequency > 0)
        deadline = clock.counterValue() + static_cast<std::int64_t>(milliseconds) * frequency / 1000;
    clock.sleep(milliseconds);
    if (frequency > 0) {
        while (clock.counterValue() < deadline) {
        }
    }
}

std::uint32_t tickCount() { return platform::clock().tickCount(); }
