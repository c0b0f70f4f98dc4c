// How long vantrel-flash install --if-needed takes on an adapter that already
// holds the carried firmware, against a full install of the same variant, on
// simulated adapters with the realistic timing model. The times are the
// model's, counted on the virtual clock, so they are the same on every
// machine and the run takes no time. Run by hand; the last line gives the
// ratio for Vantrel Max.

#include <cstdio>

#include "update/adapter_work.h"
#include "update/attached_adapters.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"
#include "update/variant.h"

namespace {

constexpr std::uint16_t maxProductId = 16;

// The seconds vantrel-flash spends on one current adapter of the variant,
// running its firmware as it would come off a shelf.
double toolSeconds(std::uint16_t productId, Work work)
{
    platform::VirtualClock clock;
    const auto busOwner = platform::VirtualBus::create(clock);
    platform::VirtualBus &bus = *busOwner;
    platform::ScopedServices services(bus.services());
    simulation::attachSimulatedAdapter(bus, {productId, "04020001", simulation::SimulatedFirmware::carried});
    AdapterWorkHost quiet;
    const AdapterResult result = workOn(attachedAdapters().front(), work, false, quiet);
    const Outcome expected = work == Work::install ? Outcome::installed : Outcome::current;
    if (result.outcome != expected)
        std::fprintf(stdout, "unexpected outcome %s: %s\n", nameOf(result.outcome),
                     result.failure ? result.failure->message.c_str() : "");
    return result.seconds;
}

// The engine's passes alone, on an adapter whose boot loader already runs
// (no reboot, no re-open): what comparing costs against erasing and writing.
double engineSeconds(std::uint16_t productId, InstallPass pass)
{
    platform::VirtualClock clock;
    const auto busOwner = platform::VirtualBus::create(clock);
    platform::VirtualBus &bus = *busOwner;
    platform::ScopedServices services(bus.services());
    simulation::Adapter &adapter = simulation::attachSimulatedAdapter(bus, {productId, "04020001"});
    const UsbDeviceInfo device = attachedAdapters().front();
    simulation::installCarriedImage(adapter, *device.firmwareImage());
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    AdapterWorkHost host;  // shows nothing
    const std::int64_t start = clock.nowMicroseconds();
    FirmwareInstaller(device, link, true, host).run(pass);
    return static_cast<double>(clock.nowMicroseconds() - start) / 1e6;
}

}  // namespace

int main()
{
    std::printf("%-30s %12s %12s %7s\n", "current adapter", "install", "--if-needed", "ratio");
    for (const Variant &variant : carriedVariants().rows()) {
        const double full = toolSeconds(variant.productId, Work::install);
        const double ifNeeded = toolSeconds(variant.productId, Work::installIfNeeded);
        std::printf("%-30s %10.3f s %10.3f s %7.3f\n", variant.image->variantName, full, ifNeeded, ifNeeded / full);
    }
    const double install = engineSeconds(maxProductId, InstallPass::install);
    const double compare = engineSeconds(maxProductId, InstallPass::compareOnly);
    std::printf("Vantrel Max, boot loader already running, engine passes only: compare %.3f s, "
                "erase+write+verify %.3f s, ratio %.3f\n",
                compare, install, compare / install);
    const double full = toolSeconds(maxProductId, Work::install);
    const double ifNeeded = toolSeconds(maxProductId, Work::installIfNeeded);
    std::printf("Vantrel Max, current: install --if-needed / full install = %.3f\n", ifNeeded / full);
    return 0;
}
