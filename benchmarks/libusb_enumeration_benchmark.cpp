// The CPU cost of one enumeration through the libusb backend, as the poll
// does it once a second: a umockdev testbed with a few devices, listed from
// libusb's device list and their sysfs strings.

#include <benchmark/benchmark.h>

#include "discovery/enumeration.h"
#include "platform/libusb/device_io.h"
#include "platform/libusb/device_setup.h"
#include "platform/libusb/usb_context.h"
#include "tests/platform/libusb/umockdev_preload.h"
#include "tests/platform/libusb/usb_testbed.h"

namespace {

void enumerateAttachedDevices(benchmark::State &state)
{
    UsbTestbed testbed;
    const auto devices = static_cast<int>(state.range(0));
    for (int i = 0; i < devices; ++i) {
        auto description = EmulatedDevice::at("1-" + std::to_string(i + 1), i + 2);
        description.serial = "VT" + std::to_string(1000 + i);
        description.manufacturer = "Vantrel";
        description.product = "Vantrel JTAG adapter";
        if (i % 2)
            description.vendorId = 0x1234;
        testbed.add(description);
    }
    platform::UsbContext context;
    platform::LibusbDeviceSetup setup(context);
    platform::LibusbDeviceIo io(context);
    platform::ScopedServices services({nullptr, &setup, &io, nullptr});
    if (enumerateDevices(0).size() != static_cast<std::size_t>(devices))
        state.SkipWithError("the testbed's devices are not all listed");

    for (auto _ : state)
        benchmark::DoNotOptimize(filterDevices(enumerateDevices(0), 0x131B, -1));
}

}  // namespace

BENCHMARK(enumerateAttachedDevices)->Arg(1)->Arg(4)->Arg(16)->MeasureProcessCPUTime()->Unit(
    benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    if (!runWithUmockdevPreload(argv))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
