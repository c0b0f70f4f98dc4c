// The stop request that the user made, shared by the program's waits and
// the system's own ways of asking (platform/*/stop_signals.cpp).

#include <atomic>

#include "platform/stop_signals.h"

namespace platform {

namespace {

// Written from a signal handler: a lock-free atomic is safe there.
std::atomic<int> requestedBy{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

int stopRequest() { return requestedBy.load(); }

bool claimStopRequest(int signal)
{
    int expected = 0;
    return requestedBy.compare_exchange_strong(expected, signal);
}

void noteStopRequest(int signal) { claimStopRequest(signal); }

namespace {
std::atomic<StopPlaces *> stopPlaces{nullptr};
}  // namespace

int stopToActOn()
{
    StopPlaces *places = stopPlaces.load();
    return places ? places->stopHere(stopRequest()) : stopRequest();
}

void setStopPlaces(StopPlaces *places) { stopPlaces.store(places); }

}  // namespace platform
