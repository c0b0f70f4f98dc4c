// Simulated adapters as a production line sees them: arriving and leaving at
// set times, and with damaged flash where a test asks for it.

#include <gtest/gtest.h>

#include "discovery/enumeration.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/adapter_schedule.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/message_of.h"
#include "update/install_engine.h"

namespace {

using simulation::Adapter;
using simulation::attachSimulatedAdapter;

class ScheduledBus : public testing::Test {
protected:
    platform::VirtualClock time;
    simulation::AdapterSchedule schedule{time};
    std::shared_ptr<platform::VirtualBus> busOwner = platform::VirtualBus::create(schedule);
    platform::VirtualBus &bus = *busOwner;
    platform::ScopedServices services{bus.services()};

    std::vector<std::string> attachedSerials()
    {
        std::vector<std::string> serials;
        for (const UsbDeviceInfo &device : enumerateDevices(0))
            serials.push_back(device.serialNumber);
        return serials;
    }
};

TEST_F(ScheduledBus, AdaptersComeAndGoAsTheClockPassesTheirTimes)
{
    Adapter &first = attachSimulatedAdapter(bus, {16, "A"});
    Adapter &second = attachSimulatedAdapter(bus, {16, "B"});
    schedule.arriveAt(first, 1000);
    schedule.leaveAt(first, 3000);
    schedule.arriveAt(second, 2500);

    using Serials = std::vector<std::string>;
    EXPECT_EQ(attachedSerials(), Serials{});
    schedule.sleep(999);
    EXPECT_EQ(attachedSerials(), Serials{});
    schedule.sleep(1);
    EXPECT_EQ(attachedSerials(), Serials{"A"});
    schedule.sleep(1500);
    EXPECT_EQ(attachedSerials(), (Serials{"A", "B"}));
    schedule.sleep(500);
    EXPECT_EQ(attachedSerials(), Serials{"B"});
    EXPECT_FALSE(first.device().present());
}

TEST_F(ScheduledBus, AnAdapterPulledOutDuringATransferLosesItsLink)
{
    Adapter &adapter = attachSimulatedAdapter(bus, {16, "A"});
    // Later than the link's purge at its opening, which waits 10 ms for stale bytes.
    schedule.leaveAt(adapter, 25);
    const UsbDeviceInfo device = enumerateDevices(0).front();
    std::unique_ptr<HDataLink> link = device.createDataLink();
    link->setTimeout(60000);
    // The realistic timing spends a millisecond and more on each transfer.
    int reads = 0;
    const std::string message = messageOf([&] {
        for (; reads < 100; ++reads) {
            LoaderInfo info;
            link->getLoaderInfo(info);
        }
    });
    EXPECT_GE(reads, 1);
    EXPECT_LT(reads, 10);
    EXPECT_NE(message, "(no exception)") << "the link fails once the adapter has gone";
}

// Product ids of both link families: the adapter's own pipes, and a bridge
// chip that sends its status every few milliseconds while the loader is silent.
class ScheduledBusOfEachLink : public ScheduledBus, public testing::WithParamInterface<std::uint16_t> {};

TEST_P(ScheduledBusOfEachLink, AReadWaitingOnAnAdapterEndsWhenItIsPulledOut)
{
    Adapter &adapter = attachSimulatedAdapter(bus, {GetParam(), "A"});
    schedule.leaveAt(adapter, 200);
    std::unique_ptr<HDataLink> link = enumerateDevices(0).front().createDataLink();
    link->setTimeout(60000);
    const std::int64_t start = time.nowMicroseconds();
    std::uint8_t reply[8] = {};
    // The loader was sent nothing, so no reply will come.
    messageOf([&] { link->read(reply, sizeof reply); });
    EXPECT_LT(time.nowMicroseconds() - start, 1'000'000) << "the wait ends at the unplug, not after its time-out";
}

INSTANTIATE_TEST_SUITE_P(PipesAndBridgeChip, ScheduledBusOfEachLink, testing::Values(16, 5));

TEST(SimulatedDamage, ChangesExactlyThePiecesNamed)
{
    platform::VirtualClock clock;
    const auto busOwner = platform::VirtualBus::create(clock);
    platform::VirtualBus &bus = *busOwner;
    simulation::SimulatedAdapterSetup setup{16, "S"};
    setup.damagedPieces = {0, 7, 42};
    Adapter &adapter = attachSimulatedAdapter(bus, setup);
    const FirmwareImage &entry = *carriedVariants().byProductId(16)->image;
    EXPECT_TRUE(adapter.loader().hasValidImage()) << "damage implies the image is installed, its header intact";

    std::vector<std::uint32_t> differing;
    constexpr std::uint32_t piece = FirmwareInstaller::verifyPiece;
    for (std::uint32_t start = 0; start < entry.imageSize; start += piece) {
        const std::uint32_t length = std::min(piece, entry.imageSize - start);
        if (adapter.loader().crcOf(entry.loadAddress + start, length) != crc32(entry.image + start, length))
            differing.push_back(start / piece);
    }
    EXPECT_EQ(differing, setup.damagedPieces);

    setup.damagedPieces = {43};
    EXPECT_THROW(attachSimulatedAdapter(bus, setup), simulation::SimulationError) << "Max's image has 43 pieces";
}

}  // namespace
