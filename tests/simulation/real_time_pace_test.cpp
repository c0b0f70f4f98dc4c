// A simulated adapter on a real clock takes the timing model's time for an
// install, though every sleep of the system overshoots.

#include <gtest/gtest.h>

#include "loader/loader_info.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "tests/support/overshooting_clock.h"
#include "tests/support/recording_host.h"
#include "update/adapter_link.h"
#include "update/install_engine.h"

namespace {

using simulation::Adapter;

// The time an install of the variant takes on `clock`, in microseconds.
template <typename Clock>
std::int64_t installTime(Clock &clock, std::uint16_t productId)
{
    auto bus = platform::VirtualBus::create(clock);
    platform::ScopedServices services(bus->services());
    Adapter &adapter = simulation::attachSimulatedAdapter(
        *bus, {productId, "04020001", simulation::SimulatedFirmware::none, std::nullopt});
    const UsbDeviceInfo device = recordOf(adapter);
    const std::int64_t start = clock.nowMicroseconds();
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    RecordingHost host;
    FirmwareInstaller(device, link, true, host).run();
    link.reset();
    return clock.nowMicroseconds() - start;
}

class RealTimePace : public testing::TestWithParam<std::uint16_t> {};

TEST_P(RealTimePace, AnInstallTakesTheModelsTimeWithinOnePercent)
{
    platform::VirtualClock model;
    OvershootingClock real(300);
    const std::int64_t modelTime = installTime(model, GetParam());
    const std::int64_t realTime = installTime(real, GetParam());
    EXPECT_GT(modelTime, 100'000);
    EXPECT_NEAR(static_cast<double>(realTime) / static_cast<double>(modelTime), 1.0, 0.01)
        << realTime << " us against the model's " << modelTime << " us";
}

// The time `commands` information requests take on `clock`, each costing the
// loader 200 us of work and the bus nothing: far less than the millisecond
// that a real clock sleeps at the least.
template <typename Clock>
std::int64_t shortCommandsTime(Clock &clock, int commands)
{
    auto bus = platform::VirtualBus::create(clock);
    platform::ScopedServices services(bus->services());
    Adapter &adapter = simulation::attach(*bus, {});
    simulation::LoaderTiming timing;
    timing.commandMicroseconds = 200;
    adapter.loader().setTiming(timing);
    std::unique_ptr<HDataLink> link = openAdapterLink(recordOf(adapter));
    const std::int64_t start = clock.nowMicroseconds();
    LoaderInfo info;
    for (int i = 0; i < commands; ++i)
        link->getLoaderInfo(info);
    return clock.nowMicroseconds() - start;
}

TEST(RealTimePaceOfShortWork, WorkShorterThanASleepIsNotCountedTwice)
{
    platform::VirtualClock model;
    OvershootingClock real(0);
    const std::int64_t modelTime = shortCommandsTime(model, 1000);
    EXPECT_EQ(modelTime, 200'000);
    EXPECT_NEAR(static_cast<double>(shortCommandsTime(real, 1000)), static_cast<double>(modelTime),
                static_cast<double>(modelTime) * 0.01);
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, RealTimePace, testing::Values(3, 4, 16, 6, 5),
                         [](const testing::TestParamInfo<std::uint16_t> &param) {
                             return "ProductId" + std::to_string(param.param);
                         });

}  // namespace
