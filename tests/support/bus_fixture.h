#pragma once

#include "discovery/usb_device_info.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/adapter.h"
#include "tests/support/observing_backend.h"
#include "tests/support/loader_fixture.h"
#include "tests/support/message_of.h"

// A virtual USB bus on the virtual clock, installed for the test behind an
// observer that counts what crosses the seam.
class BusFixture : public testing::Test {
protected:
    platform::VirtualClock clock;
    std::shared_ptr<platform::VirtualBus> busOwner = platform::VirtualBus::create(clock);
    platform::VirtualBus &bus = *busOwner;
    std::shared_ptr<ObservingBackend> observerOwner = std::make_shared<ObservingBackend>(busOwner);
    ObservingBackend &observer = *observerOwner;

private:
    platform::ScopedServices services_{{&clock, observerOwner}};
};

// The device record of an adapter on the bus, as enumeration would give it
// (without the backend, which the fixture has installed).
inline UsbDeviceInfo recordOf(const simulation::Adapter &adapter)
{
    UsbDeviceInfo record;
    record.vendorId = adapter.config().vendorId;
    record.productId = adapter.config().productId;
    record.serialNumber = adapter.config().serialNumber;
    record.devicePath = adapter.config().devicePath;
    return record;
}
