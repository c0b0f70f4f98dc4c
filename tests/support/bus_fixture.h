#pragma once

#include "discovery/usb_device_info.h"
#include "platform/virtual/virtual_bus.h"
#include "tests/support/loader_fixture.h"
#include "tests/support/message_of.h"

// A virtual USB bus on the virtual clock, installed for the test.
class BusFixture : public testing::Test {
protected:
    platform::VirtualClock clock;
    std::shared_ptr<platform::VirtualBus> busOwner = platform::VirtualBus::create(clock);
    platform::VirtualBus &bus = *busOwner;

private:
    platform::ScopedServices services_{bus.services()};
};

// The device record of an adapter on the bus, as enumeration would give it
// (without the bus, which the fixture has installed).
inline UsbDeviceInfo recordOf(const platform::VirtualAdapter &adapter)
{
    UsbDeviceInfo record;
    record.vendorId = adapter.config().vendorId;
    record.productId = adapter.config().productId;
    record.serialNumber = adapter.config().serialNumber;
    record.devicePath = adapter.config().devicePath;
    return record;
}
