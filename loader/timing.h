#pragma once

#include <cstdint>

// Waits at least `milliseconds` on the high-resolution counter, even when the
// system's sleep comes back early: it sleeps, then spins for the shortfall.
void preciseDelay(unsigned milliseconds);

// Milliseconds since the system started; wraps to 0 after 2^32 ms.
std::uint32_t tickCount();
