// How soon a station takes up an adapter that arrives: from its arrival to
// its first loader command. On simulated adapters told by the virtual bus,
// in the timing model's time; and through the libusb backend in a umockdev
// testbed, told by libusb's hotplug, in real time. (A real-time simulated
// station is left out: its recording's time and its schedule's begin a few
// milliseconds apart, more than what is measured.) Before the station was told of arrivals it looked once a
// second: 0-1000 ms. Run by hand:
// build/.../benchmarks/vantrel-station-arrival-benchmark

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <thread>
#include <vector>

#include "benchmarks/flash_runs.h"
#include "tests/platform/libusb/emulated_variant.h"
#include "tests/platform/libusb/emulation/umockdev_preload.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Spread {
    double median;
    double worst;
};

Spread spreadOf(std::vector<double> milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    return {milliseconds[milliseconds.size() / 2], milliseconds.back()};
}

// A station with adapters arriving at odd moments; the latency of each, in
// milliseconds, from the session's recording.
std::vector<double> simulatedStation()
{
    const std::string recording =
        (std::filesystem::temp_directory_path() / "vantrel-station-benchmark.jsonl").string();
    const std::vector<double> arrivals = {0.313, 0.871, 1.402, 2.117, 2.659, 3.530};
    std::vector<std::string> arguments = {"--record", recording, "install", "--wait", "--json", "--count",
                                          std::to_string(arrivals.size())};
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        arguments.push_back("--simulate");
        arguments.push_back("msp430,serial=S" + std::to_string(i) + ",arrive=" + std::to_string(arrivals[i]));
    }
    runFlash(arguments);
    const RecordedTimes times = recordedTimes(recording);
    std::filesystem::remove(recording);
    std::vector<double> latencies;
    // Lanes are numbered as adapters are taken up: in order of arrival.
    for (std::size_t i = 0; i < arrivals.size(); ++i)
        latencies.push_back((times.firstWrite.at(static_cast<unsigned>(i + 1)) - arrivals[i]) * 1000);
    return latencies;
}

// The station on the libusb backend: the time from an emulated adapter's
// arrival in the testbed to its boot loader's first command.
std::vector<double> libusbStation(int runs)
{
    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        EmulatedVariant adapter{6};
        std::atomic<Clock::rep> firstCommand{0};
        adapter.loader.setCommandObserver([&](std::uint8_t) {
            Clock::rep expected = 0;
            firstCommand.compare_exchange_strong(expected, Clock::now().time_since_epoch().count());
            return true;
        });
        UsbTestbed testbed;
        ChildProcess station(VANTREL_FLASH, {"install", "--wait", "--count", "1", "--json"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto description = EmulatedDevice::at("1-1", 2);
        description.productId = adapter.config.productId;
        description.serial = adapter.config.serialNumber;
        const Clock::time_point arrival = Clock::now();
        testbed.add(description).connect(adapter.peer());
        station.readLine();
        station.wait();
        const Clock::duration took = Clock::duration(firstCommand.load()) - arrival.time_since_epoch();
        latencies.push_back(std::chrono::duration<double, std::milli>(took).count());
    }
    return latencies;
}

void print(const char *what, const std::vector<double> &latencies)
{
    const Spread spread = spreadOf(latencies);
    std::printf("%-52s median %7.2f ms, worst %7.2f ms (%zu arrivals)\n", what, spread.median, spread.worst,
                latencies.size());
}

}  // namespace

int main(int, char **argv)
{
    if (!runWithUmockdevPreload(argv))
        return 1;
    std::printf("arrival to the first loader command\n");
    print("simulated, told by the virtual bus, model time", simulatedStation());
    print("libusb in a umockdev testbed, told by hotplug", libusbStation(10));
    return 0;
}
