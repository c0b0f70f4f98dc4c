// vantrel-flash install --all on 1 to 32 simulated adapters of a variant at
// once, all on one simulated full-speed bus whose bulk bandwidth they share:
// the whole command's time against one adapter's, in the timing model's time
// (the virtual clock, from the session's recording) and in real time
// (--real-time, up to 16 adapters); where the shared bus becomes the limit;
// and what that makes of a station's adapters per hour with 1, 4 and 8
// slots when a person takes 5 s to swap an adapter. Run by hand:
// build/.../benchmarks/vantrel-concurrent-install-benchmark [--quick]

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "benchmarks/flash_runs.h"
#include "update/variant.h"

namespace {

constexpr double swapSeconds = 5.0;

std::vector<std::string> allAtOnce(const std::string &variant, int adapters, bool realTime,
                                   const std::string &recording)
{
    std::vector<std::string> arguments = {"--record", recording, "install", "--all", "--json"};
    if (realTime)
        arguments.push_back("--real-time");
    for (int i = 0; i < adapters; ++i) {
        arguments.push_back("--simulate");
        arguments.push_back(variant + ",serial=S" + std::to_string(i));
    }
    return arguments;
}

// One full-speed bus's bulk bandwidth, as the simulated bus has it.
constexpr double busBytesPerSecond = 1'200'000;

struct Measured {
    double model;  // seconds of the timing model, the whole command
    double real;   // seconds of real time with --real-time, or 0
    double busBusy;  // the share of the model's time the bus carried bytes
};

Measured measure(const std::string &variant, int adapters, bool realTime)
{
    const std::string recording =
        (std::filesystem::temp_directory_path() / "vantrel-concurrent-benchmark.jsonl").string();
    Measured measured{};
    const TimedRun model = runFlash(allAtOnce(variant, adapters, false, recording));
    if (model.ending.exitCode != 0)
        std::fprintf(stderr, "%s x%d: exit %d\n%s", variant.c_str(), adapters, model.ending.exitCode,
                     model.ending.err.c_str());
    const RecordedTimes times = recordedTimes(recording);
    measured.model = times.whole;
    measured.busBusy = static_cast<double>(times.bytes) / busBytesPerSecond / times.whole;
    if (realTime)
        measured.real = runFlash(allAtOnce(variant, adapters, true, recording)).wallSeconds;
    std::filesystem::remove(recording);
    return measured;
}

// A station of `slots` slots: each slot's cycle is its install (`install`
// seconds, with `slots` at once on the bus) and a swap; one person swaps
// one adapter at a time.
double adaptersPerHour(int slots, double install)
{
    return slots * 3600.0 / std::max(install + swapSeconds, slots * swapSeconds);
}

}  // namespace

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::printf("install --all, Vantrel Max: the whole command against one adapter alone\n");
    std::printf("%8s %12s %8s %9s %12s %8s\n", "adapters", "model", "x one", "bus busy", "real time", "x one");
    double oneModel = 0, oneReal = 0;
    for (const int adapters : {1, 2, 4, 8, 16, 32}) {
        const bool realTime = !quick && adapters <= 16;
        const Measured m = measure("max", adapters, realTime);
        if (adapters == 1) {
            oneModel = m.model;
            oneReal = m.real;
        }
        std::printf("%8d %10.3f s %8.3f %8.0f%%", adapters, m.model, m.model / oneModel, m.busBusy * 100);
        if (realTime)
            std::printf(" %10.3f s %8.3f", m.real, m.real / oneReal);
        std::printf("\n");
    }

    std::printf("\nadapters per hour, one station, a %.0f s swap (model time, with that many at once)\n", swapSeconds);
    std::printf("%-30s %10s %10s %10s\n", "variant", "1 slot", "4 slots", "8 slots");
    for (const Variant &variant : carriedVariants().rows()) {
        std::printf("%-30s", variant.image->variantName);
        for (const int slots : {1, 4, 8})
            std::printf(" %10.0f", adaptersPerHour(slots, measure(variant.toolName, slots, false).model));
        std::printf("\n");
    }
    return 0;
}
