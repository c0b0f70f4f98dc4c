#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"

// Simulated adapters on a virtual bus, installed in place of the real
// backend for as long as the object lives.
class Simulation {
public:
    // Throws UsageError for a fault that cannot show on its adapter.
    Simulation(const std::vector<SimulatedAdapterSetup> &adapters, bool realTime);

    // The CRC-32 of the adapter's flash over its carried image's range.
    std::optional<std::uint32_t> flashCrc(const std::string &serialNumber) const;

private:
    platform::VirtualClock virtualClock_;
    std::shared_ptr<platform::VirtualBus> bus_;
    std::unique_ptr<platform::ScopedServices> services_;
    std::map<std::string, platform::VirtualAdapter *> adapters_;
};
