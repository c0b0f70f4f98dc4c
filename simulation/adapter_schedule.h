#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual/virtual_device.h"

namespace simulation {

class Adapter;

// Adapters that arrive on a virtual bus and leave it at set times, as on a
// production line where one adapter after another is plugged in. It is the
// bus's clock: it passes time on the clock it wraps (virtual or real), and
// every read of the time or wait first carries out the arrivals and
// departures that have fallen due, so that a program polling the bus sees
// them as it would see real ones.
class AdapterSchedule : public platform::Clock {
public:
    explicit AdapterSchedule(platform::Clock &time) : time_(time) {}

    // The adapter is off the bus until `milliseconds` after the clock's start.
    void arriveAt(Adapter &adapter, std::uint32_t milliseconds);
    // The adapter is pulled out at `milliseconds` after the clock's start.
    void leaveAt(Adapter &adapter, std::uint32_t milliseconds);

    // Whether an arrival or a departure is still to come.
    bool eventsToCome() const { return !events_.empty(); }

    std::uint32_t tickCount() override;
    std::int64_t counterFrequency() override { return time_.counterFrequency(); }
    std::int64_t counterValue() override;
    void sleep(std::uint32_t milliseconds) override;

private:
    struct Event {
        std::int64_t dueMicroseconds;  // since the schedule's start
        platform::VirtualDevice *device;
        bool arrives;
    };

    std::int64_t elapsedMicroseconds();
    void add(Event event);
    void carryOutDueEvents();

    platform::Clock &time_;
    std::int64_t startMicroseconds_ = -1;
    std::vector<Event> events_;  // the ones still to come
    bool carryingOut_ = false;
};

}  // namespace simulation
