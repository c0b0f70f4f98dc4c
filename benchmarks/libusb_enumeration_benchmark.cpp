// The CPU cost of one enumeration through the libusb backend, as the poll
// does it once a second: a umockdev testbed with some devices, listed from
// libusb's device list (and, the first time a device is seen, its sysfs
// strings), then filtered to the family's vendor.

#include <benchmark/benchmark.h>

#include <memory>

#include "discovery/enumeration.h"
#include "platform/libusb/libusb_backend.h"
#include "tests/platform/libusb/emulation/umockdev_preload.h"
#include "tests/platform/libusb/emulation/usb_testbed.h"

namespace {

// `devices` devices on one bus, every second one of another vendor; the
// first of them an adapter of the family.
void addDevices(UsbTestbed &testbed, int devices, bool allButOneForeign)
{
    for (int i = 0; i < devices; ++i) {
        // Seven ports a hub, so that a large bus stays a plausible tree.
        std::string name = "1-";
        name += std::to_string(i / 7 + 1);
        if (i % 7) {
            name += '.';
            name += std::to_string(i % 7);
        }
        auto description = EmulatedDevice::at(name, i + 2);
        description.serial = "VT" + std::to_string(1000 + i);
        description.manufacturer = "Vantrel";
        description.product = "Vantrel JTAG adapter";
        if (allButOneForeign ? i > 0 : i % 2 == 1)
            description.vendorId = 0x1234;
        testbed.add(description);
    }
}

void poll(benchmark::State &state, int devices, bool allButOneForeign)
{
    UsbTestbed testbed;
    addDevices(testbed, devices, allButOneForeign);
    const platform::ScopedServices services({nullptr, std::make_shared<platform::LibusbBackend>()});
    if (enumerateDevices(0).size() != static_cast<std::size_t>(devices))
        state.SkipWithError("the testbed's devices are not all listed");

    for (auto _ : state)
        benchmark::DoNotOptimize(filterDevices(enumerateDevices(0), 0x131B, -1));
}

void enumerateAttachedDevices(benchmark::State &state) { poll(state, static_cast<int>(state.range(0)), false); }

// The case a lab machine has: one adapter among many devices of other makers.
void oneAdapterAmongOtherVendors(benchmark::State &state)
{
    poll(state, static_cast<int>(state.range(0)) + 1, true);
}

}  // namespace

BENCHMARK(enumerateAttachedDevices)->Arg(1)->Arg(4)->Arg(16)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(oneAdapterAmongOtherVendors)->Arg(64)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    if (!runWithUmockdevPreload(argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
