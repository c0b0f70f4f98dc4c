// One virtual bus used by several threads at once: installs side by side,
// each on its own adapter, sharing the bus's bandwidth; and the bus telling
// a watch of every adapter that comes or goes.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "discovery/enumeration.h"
#include "platform/doorbell.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"
#include "update/adapter_work.h"
#include "update/attached_adapters.h"

namespace {

constexpr std::uint16_t maxProductId = 16;

struct SharedBus {
    platform::VirtualClock clock;
    std::shared_ptr<platform::VirtualBus> bus = platform::VirtualBus::create(clock);
    platform::ScopedServices services{bus->services()};
};

// `adapters` Max adapters installed at once, each in a thread of its own;
// the seconds the whole took on the bus's clock, and the outcomes.
struct AtOnce {
    double seconds;
    std::vector<Outcome> outcomes;
};

AtOnce installAtOnce(int adapters, std::int64_t sharedBytesPerSecond)
{
    SharedBus shared;
    for (int i = 0; i < adapters; ++i)
        simulation::attachSimulatedAdapter(*shared.bus, {maxProductId, "A" + std::to_string(i)});
    platform::BusTiming timing{1000, 1'000'000, sharedBytesPerSecond};
    shared.bus->setTiming(timing);
    const DeviceList devices = attachedAdapters();
    std::vector<Outcome> outcomes(devices.size());
    // Every thread counted before any starts, so that they begin together.
    std::vector<platform::SharedTimeThread> seats;
    seats.reserve(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i)
        seats.emplace_back(shared.clock);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        threads.emplace_back([&, i, seat = std::move(seats[i])]() mutable {
            seat.enter();
            AdapterWorkHost quiet;
            outcomes[i] = workOn(devices[i], Work::install, false, quiet).outcome;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    return {static_cast<double>(shared.clock.nowMicroseconds()) / 1e6, outcomes};
}

TEST(SharedBus, InstallsAtOnceTakeOneInstallsTimeUntilTheBusIsFull)
{
    const AtOnce one = installAtOnce(1, 1'200'000);
    const AtOnce four = installAtOnce(4, 1'200'000);
    EXPECT_EQ(four.outcomes, std::vector<Outcome>(4, Outcome::installed));
    EXPECT_LT(four.seconds, one.seconds * 1.10) << "four at once, against one alone";
    // A bus that carries a tenth of what one adapter takes: the bus is the limit.
    const AtOnce narrow = installAtOnce(4, 100'000);
    EXPECT_EQ(narrow.outcomes, std::vector<Outcome>(4, Outcome::installed));
    EXPECT_GT(narrow.seconds, one.seconds * 2) << "four at once on a narrow bus";
}

TEST(SharedBus, AWatchIsToldOfEveryAdapterThatComesOrGoes)
{
    SharedBus shared;
    std::atomic<int> told{0};
    std::unique_ptr<platform::DeviceWatch> watch =
        shared.bus->enumeration().watchDevices([&] { ++told; });
    ASSERT_TRUE(watch);
    simulation::Adapter &adapter = simulation::attachSimulatedAdapter(*shared.bus, {maxProductId, "A"});
    platform::VirtualDevice &device = adapter.device();
    const struct {
        const char *what;
        std::function<void()> change;
    } changes[] = {
        {"pulled out", [&] { shared.bus->detach(device); }},
        {"plugged in again", [&] { shared.bus->reattach(device); }},
        {"rebooting", [&] { shared.bus->replugAfter(device, 1000); }},
    };
    EXPECT_EQ(told.load(), 1) << "attached";
    for (const auto &c : changes) {
        SCOPED_TRACE(c.what);
        const int before = told;
        c.change();
        EXPECT_EQ(told.load(), before + 1);
    }
    watch.reset();
    shared.bus->detach(device);
    EXPECT_EQ(told.load(), 4) << "nothing told once the watch is gone";
}

}  // namespace
