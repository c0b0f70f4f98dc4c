#pragma once

#include <cstdint>

namespace platform {

// Time as the system gives it.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the system started; wraps after 2^32 ms.
    virtual std::uint32_t tickCount() = 0;
    // Counts per second of the high-resolution counter; 0 when there is none.
    virtual std::int64_t counterFrequency() = 0;
    virtual std::int64_t counterValue() = 0;
    // Suspends the thread; may come back early on some systems.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
