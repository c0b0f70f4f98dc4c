// A device record and every link made from it belong to the backend that
// listed the device: they open through it and release their handles to it,
// whatever is installed in between and in whatever order things end.

#include <gtest/gtest.h>

#include "datalink/data_link.h"
#include "discovery/enumeration.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/observing_backend.h"

namespace {

using platform::VirtualBus;

class BackendOwnership : public testing::Test {
protected:
    platform::VirtualClock clock;

    // A bus with one adapter at the same path as on every other bus, seen
    // through an observer.
    std::shared_ptr<ObservingBackend> observeed(const std::shared_ptr<VirtualBus> &bus, std::uint16_t productId)
    {
        simulation::attach(*bus, simulation::simulatedAdapter(productId, "SAME"));
        return std::make_shared<ObservingBackend>(bus);
    }

    // The one adapter that `backend` lists, with its record, while `backend` is installed.
    UsbDeviceInfo listedOn(const std::shared_ptr<ObservingBackend> &backend)
    {
        const platform::ScopedServices installed({&clock, backend});
        const DeviceList devices = enumerateDevices(0);
        EXPECT_EQ(devices.size(), 1U);
        return devices.empty() ? UsbDeviceInfo{} : devices.front();
    }
};

TEST_F(BackendOwnership, ALinkOutlivingItsBusesScopeReleasesToThatBus)
{
    std::unique_ptr<HDataLink> link;
    std::weak_ptr<VirtualBus> firstBus;
    std::weak_ptr<ObservingBackend> first;
    {
        const auto bus = VirtualBus::create(clock);
        const auto backend = observeed(bus, 16);
        firstBus = bus;
        first = backend;
        link = listedOn(backend).createDataLink();
    }
    // Another bus with an adapter at the same path is installed now.
    const auto second = observeed(VirtualBus::create(clock), 16);
    const platform::ScopedServices installed({&clock, second});

    ASSERT_FALSE(first.expired()) << "the link keeps its bus";
    EXPECT_EQ(first.lock()->openHandles(), 4);
    link.reset();
    EXPECT_TRUE(firstBus.expired()) << "the bus ends with its last link";
    EXPECT_EQ(second->openHandles(), 0) << "nothing was handed to the other bus";

    // The second bus's adapter is free to open.
    std::unique_ptr<HDataLink> again = listedOn(second).createDataLink();
    EXPECT_EQ(second->openHandles(), 4);
}

TEST_F(BackendOwnership, ARecordOpensThroughTheBusThatListedIt)
{
    const auto first = observeed(VirtualBus::create(clock), 5);
    const UsbDeviceInfo record = listedOn(first);

    const auto second = observeed(VirtualBus::create(clock), 5);
    const platform::ScopedServices installed({&clock, second});
    std::unique_ptr<HDataLink> link = record.createDataLink();
    EXPECT_EQ(first->linksOpened(), 1);
    EXPECT_EQ(second->linksOpened(), 0);
    EXPECT_EQ(first->openHandles(), 4);
    link.reset();
    EXPECT_EQ(first->openHandles(), 0);
}

}  // namespace
