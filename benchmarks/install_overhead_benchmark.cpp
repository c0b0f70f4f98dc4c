// What a real-time install on a simulated adapter costs beyond the timing
// model: each variant's install on the system's clock, against the same
// install on the virtual clock, which takes exactly the model's time for the
// commands it sends. The last line gives the ratio of each variant; 1.01 or
// less means the demo and --real-time show a real adapter's pace.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "discovery/enumeration.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"
#include "update/adapter_work.h"
#include "update/install_engine.h"

namespace {

// One install of an erased adapter of the variant, on a bus that runs on
// `clock`; the seconds it took on that clock's counter.
double installSeconds(platform::Clock &clock, std::uint16_t productId)
{
    auto bus = platform::VirtualBus::create(clock);
    const platform::ScopedServices services(bus->services());
    simulation::attachSimulatedAdapter(*bus,
                                       {productId, "04020001", simulation::SimulatedFirmware::none, std::nullopt});
    const UsbDeviceInfo device = filterDevices(enumerateDevices(0), 0x131B, -1).front();
    const std::int64_t frequency = clock.counterFrequency();
    const std::int64_t start = clock.counterValue();
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    AdapterWorkHost host;  // shows nothing
    FirmwareInstaller(device, link, true, host).run();
    link.reset();
    return static_cast<double>(clock.counterValue() - start) / static_cast<double>(frequency);
}

// Each variant's ratio, in the table's order.
std::vector<std::pair<std::string, double>> &ratios()
{
    static std::vector<std::pair<std::string, double>> byVariant;
    return byVariant;
}

void realTimeInstall(benchmark::State &state, const Variant *variant)
{
    platform::VirtualClock model;
    const double modelSeconds = installSeconds(model, variant->productId);
    platform::Clock &system = *platform::nativeServices().clock;
    double realSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        installSeconds(system, variant->productId);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        realSeconds += took.count();
    }
    const double ratio = realSeconds / static_cast<double>(state.iterations()) / modelSeconds;
    state.counters["model_s"] = modelSeconds;
    state.counters["ratio"] = ratio;
    ratios().emplace_back(variant->toolName, ratio);
}

}  // namespace

int main(int argc, char **argv)
{
    for (const Variant &variant : carriedVariants().rows())
        benchmark::RegisterBenchmark(("RealTimeInstall/" + std::string(variant.toolName)).c_str(), realTimeInstall,
                                     &variant)
            ->Iterations(3)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::string line = "real-time install / timing model:";
    for (const auto &[name, ratio] : ratios()) {
        char text[64];
        std::snprintf(text, sizeof text, " %s %.4f", name.c_str(), ratio);
        line += text;
    }
    std::puts(line.c_str());
    return 0;
}
