#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/adapter_schedule.h"

// Simulated adapters on a virtual bus, installed in place of the real
// backend for as long as the object lives.
class Simulation {
public:
    // Throws UsageError for a fault or damage that cannot show on its adapter.
    Simulation(const std::vector<simulation::SimulatedAdapterSetup> &adapters, bool realTime);

    // The CRC-32 of the flash, over its carried image's range, of the
    // simulated adapter at that device path.
    std::optional<std::uint32_t> flashCrc(const std::string &devicePath) const;

    // Whether the bus runs on the virtual clock with no adapter still to
    // arrive or leave: however much of that time passes, nothing changes.
    bool frozen() const { return !realTime_ && !schedule_->eventsToCome(); }

private:
    // The virtual clock without its record of every sleep, which a station
    // waiting for simulated adapters would grow without end.
    class QuietClock : public platform::VirtualClock {
    public:
        void sleep(std::uint32_t milliseconds) override;
    };

    QuietClock virtualClock_;
    bool realTime_ = false;
    // Adapters arrive and leave as the bus's clock goes by.
    std::unique_ptr<simulation::AdapterSchedule> schedule_;
    std::shared_ptr<platform::VirtualBus> bus_;
    std::unique_ptr<platform::ScopedServices> services_;
    std::vector<simulation::Adapter *> adapters_;
};
