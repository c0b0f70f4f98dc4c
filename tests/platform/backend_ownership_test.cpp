// A device record and every link made from it belong to the backend that
// listed the device: they open through it and release their handles to it,
// whatever is installed in between and in whatever order things end.

#include <gtest/gtest.h>

#include "datalink/data_link.h"
#include "discovery/enumeration.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"

namespace {

using platform::VirtualBus;

class BackendOwnership : public testing::Test {
protected:
    platform::VirtualClock clock;

    // The one adapter that `bus` lists, with its record, while `bus` is installed.
    UsbDeviceInfo listedOn(const std::shared_ptr<VirtualBus> &bus)
    {
        const platform::ScopedServices installed(bus->services());
        const DeviceList devices = enumerateDevices(0);
        EXPECT_EQ(devices.size(), 1U);
        return devices.empty() ? UsbDeviceInfo{} : devices.front();
    }
};

TEST_F(BackendOwnership, ALinkOutlivingItsBusesScopeReleasesToThatBus)
{
    std::unique_ptr<HDataLink> link;
    std::weak_ptr<VirtualBus> first;
    {
        const auto bus = VirtualBus::create(clock);
        bus->attach(simulatedAdapter(16, "SAME"));
        first = bus;
        link = listedOn(bus).createDataLink();
    }
    // Another bus with an adapter at the same path is installed now.
    const auto second = VirtualBus::create(clock);
    second->attach(simulatedAdapter(16, "SAME"));
    const platform::ScopedServices installed(second->services());

    ASSERT_FALSE(first.expired()) << "the link keeps its bus";
    EXPECT_EQ(first.lock()->openHandleCount(), 4);
    link.reset();
    EXPECT_TRUE(first.expired()) << "the bus ends with its last link";
    EXPECT_EQ(second->openHandleCount(), 0) << "nothing was handed to the other bus";

    // The second bus's adapter is free to open.
    std::unique_ptr<HDataLink> again = listedOn(second).createDataLink();
    EXPECT_EQ(second->openHandleCount(), 4);
}

TEST_F(BackendOwnership, ARecordOpensThroughTheBusThatListedIt)
{
    const auto first = VirtualBus::create(clock);
    first->attach(simulatedAdapter(5, "SAME"));
    const UsbDeviceInfo record = listedOn(first);

    const auto second = VirtualBus::create(clock);
    second->attach(simulatedAdapter(5, "SAME"));
    const platform::ScopedServices installed(second->services());
    std::unique_ptr<HDataLink> link = record.createDataLink();
    EXPECT_EQ(first->linksOpened(), 1);
    EXPECT_EQ(second->linksOpened(), 0);
    EXPECT_EQ(first->openHandleCount(), 4);
    link.reset();
    EXPECT_EQ(first->openHandleCount(), 0);
}

}  // namespace
