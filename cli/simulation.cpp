#include "cli/simulation.h"

#include "update/firmware_image.h"
#include "update/variant.h"

Simulation::Simulation(const std::vector<SimulatedAdapterSetup> &adapters, bool realTime)
{
    // On the virtual clock the modelled time passes at once, so durations
    // and rates still come out as a real adapter's would.
    platform::Clock &clock = realTime ? *platform::installed().clock : virtualClock_;
    bus_ = platform::VirtualBus::create(clock);
    for (const SimulatedAdapterSetup &setup : adapters) {
        try {
            adapters_[setup.serialNumber] = &attachSimulatedAdapter(*bus_, setup);
        } catch (const SimulationError &e) {
            throw UsageError{"--simulate: " + e.message};
        }
    }
    services_ = std::make_unique<platform::ScopedServices>(bus_->services());
}

std::optional<std::uint32_t> Simulation::flashCrc(const std::string &serialNumber) const
{
    const auto found = adapters_.find(serialNumber);
    if (found == adapters_.end())
        return std::nullopt;
    platform::VirtualAdapter &adapter = *found->second;
    const Variant *variant = carriedVariants().forAdapter(adapter.config().productId, serialNumber);
    if (!variant)
        return std::nullopt;
    return adapter.loader().crcOf(variant->image->loadAddress, variant->image->imageSize);
}
