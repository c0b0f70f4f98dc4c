#include "cli/simulation.h"

#include "update/firmware_image.h"
#include "update/variant.h"

void Simulation::QuietClock::sleep(std::uint32_t milliseconds) { advance(milliseconds); }

Simulation::Simulation(const std::vector<simulation::SimulatedAdapterSetup> &adapters, bool realTime)
    : realTime_(realTime)
{
    // On the virtual clock the modelled time passes at once, so durations
    // and rates still come out as a real adapter's would.
    platform::Clock &clock = realTime ? *platform::installed().clock : virtualClock_;
    schedule_ = std::make_unique<simulation::AdapterSchedule>(clock);
    bus_ = platform::VirtualBus::create(*schedule_);
    for (const simulation::SimulatedAdapterSetup &setup : adapters) {
        try {
            simulation::Adapter &adapter = simulation::attachSimulatedAdapter(*bus_, setup);
            if (setup.arriveAt)
                schedule_->arriveAt(adapter, *setup.arriveAt);
            if (setup.leaveAt)
                schedule_->leaveAt(adapter, *setup.leaveAt);
            adapters_.push_back(&adapter);
        } catch (const simulation::SimulationError &e) {
            throw UsageError{"--simulate: " + e.message};
        }
    }
    services_ = std::make_unique<platform::ScopedServices>(bus_->services());
}

std::optional<std::uint32_t> Simulation::flashCrc(const std::string &devicePath) const
{
    for (simulation::Adapter *adapter : adapters_) {
        const simulation::AdapterConfig &config = adapter->config();
        if (config.devicePath != devicePath)
            continue;
        const Variant *variant = carriedVariants().forAdapter(config.productId, config.serialNumber);
        if (!variant)
            return std::nullopt;
        return adapter->loader().crcOf(variant->image->loadAddress, variant->image->imageSize);
    }
    return std::nullopt;
}
