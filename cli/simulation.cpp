#include "cli/simulation.h"

#include "update/firmware_image.h"
#include "update/simulated_adapter.h"

namespace {

using platform::LoaderFault;

// How long a rebooting adapter stays off the bus.
constexpr std::uint32_t reenumerationMilliseconds = 1500;

void applyFault(platform::VirtualAdapter &adapter, const std::string &fault)
{
    platform::SimulatedLoader &loader = adapter.loader();
    if (fault == "erase")
        loader.injectFault(0x05, LoaderFault::statusZero, 2);
    else if (fault == "write")
        loader.injectFault(0x03, LoaderFault::statusZero, 3);
    else if (fault == "verify")
        loader.injectFault(0x07, LoaderFault::noReply, 1);
    else if (fault == "crc")
        loader.injectFault(0x07, LoaderFault::wrongCrc, 1);
    else if (fault == "connect")
        loader.injectFault(0x01, LoaderFault::statusZero);
    else if (fault == "disconnect")
        loader.injectFault(0x02, LoaderFault::statusZero);
    else if (fault == "no-reply")
        loader.injectFault(0x08, LoaderFault::noReply);
    else if (fault == "busy")
        adapter.setBusy(true);
}

}  // namespace

Simulation::Simulation(const std::vector<SimulatedAdapterSetup> &adapters, bool realTime)
{
    platform::Clock &clock = realTime ? *platform::installed().clock : virtualClock_;
    bus_ = std::make_unique<platform::VirtualBus>(clock);
    for (const SimulatedAdapterSetup &setup : adapters) {
        platform::VirtualAdapter &adapter = bus_->attach(simulatedAdapter(setup.productId, setup.serialNumber));
        UsbDeviceInfo record;
        record.productId = setup.productId;
        record.serialNumber = setup.serialNumber;
        const FirmwareImage *entry = record.firmwareImage();
        if (setup.installed && entry) {
            installCarriedImage(adapter, *entry);
            if (entry->reopenAfterConnect)
                adapter.setReenumerateOnConnect(reenumerationMilliseconds);
        }
        // On the virtual clock the modelled time passes at once, so durations
        // and rates still come out as a real adapter's would.
        applyRealisticTiming(*bus_, adapter);
        applyFault(adapter, setup.fault);
        adapters_[setup.serialNumber] = &adapter;
    }
    services_ = std::make_unique<platform::ScopedServices>(bus_->services());
}

std::optional<std::uint32_t> Simulation::flashCrc(const std::string &serialNumber) const
{
    const auto found = adapters_.find(serialNumber);
    if (found == adapters_.end())
        return std::nullopt;
    platform::VirtualAdapter &adapter = *found->second;
    UsbDeviceInfo record;
    record.productId = adapter.config().productId;
    record.serialNumber = serialNumber;
    const FirmwareImage *entry = record.firmwareImage();
    if (!entry)
        return std::nullopt;
    return adapter.loader().crcOf(entry->loadAddress, entry->imageSize);
}
