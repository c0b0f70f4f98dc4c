#include "discovery/enumeration.h"

#include "tests/support/bus_fixture.h"

namespace {

using simulation::AdapterConfig;

class Enumeration : public BusFixture {
protected:
    platform::VirtualInterface usbInterface(std::string instanceId, std::string path)
    {
        platform::VirtualInterface entry;
        entry.deviceClass = deviceClassFor(0);
        entry.instanceId = std::move(instanceId);
        entry.devicePath = std::move(path);
        entry.manufacturer = "Maker";
        entry.description = "Thing";
        return entry;
    }
};

TEST_F(Enumeration, NoInterfacesGiveAnEmptyList)
{
    EXPECT_TRUE(enumerateDevices(0).empty());
    EXPECT_TRUE(filterDevices(enumerateDevices(0), 4891, -1).empty());
    EXPECT_EQ(observer.openHandles(), 0) << "the interface set is released";
}

TEST_F(Enumeration, AttachedAdaptersAppearWithTheirStringsInOrder)
{
    AdapterConfig first;
    first.productId = 5;
    first.serialNumber = "VT0012345";
    first.manufacturer = "";  // no manufacturer property
    simulation::attach(bus, first);
    AdapterConfig second;
    second.serialNumber = "VT7";
    simulation::attach(bus, second);

    const DeviceList devices = enumerateDevices(0);
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0].productId, 5);
    EXPECT_EQ(devices[0].serialNumber, "VT0012345");
    EXPECT_EQ(devices[0].manufacturer, "");
    EXPECT_EQ(devices[1].serialNumber, "VT7");
    EXPECT_EQ(devices[1].description, "Vantrel JTAG adapter");
    EXPECT_EQ(devices[1].devicePath, second.devicePath.empty() ? devices[1].devicePath : second.devicePath);
    EXPECT_EQ(devices[1].interfaceKind, 0);
}

TEST_F(Enumeration, IdentifiersWithoutThreeSegmentsGiveNoRecord)
{
    bus.addInterface(usbInterface("", "unreadable"));
    bus.addInterface(usbInterface("ROOT\\SYSTEM", "d"));
    bus.addInterface(usbInterface("USB\\VID_131B&PID_0010\\E", "e"));

    const DeviceList devices = enumerateDevices(0);
    ASSERT_EQ(devices.size(), 1U);
    EXPECT_EQ(devices[0].serialNumber, "E");
    EXPECT_EQ(devices[0].manufacturer, "Maker");
}

TEST_F(Enumeration, TheKindSelectsTheInterfaceClass)
{
    auto hidEntry = usbInterface("HID\\VID_131B&PID_0010\\H", "hid-path");
    hidEntry.deviceClass = deviceClassFor(hidInterfaceKind);
    bus.addInterface(hidEntry);
    bus.addInterface(usbInterface("USB\\VID_131B&PID_0010\\U", "usb-path"));
    bus.hidLibrary().setAvailable(false);

    const DeviceList hid = enumerateDevices(hidInterfaceKind);
    ASSERT_EQ(hid.size(), 1U);
    EXPECT_EQ(hid[0].serialNumber, "H");
    EXPECT_EQ(hid[0].interfaceKind, 3);
    for (int kind : {0, 1, 256, -5}) {
        const DeviceList usb = enumerateDevices(kind);
        ASSERT_EQ(usb.size(), 1U) << kind;
        EXPECT_EQ(usb[0].serialNumber, "U");
        EXPECT_EQ(usb[0].interfaceKind, kind);
    }
}

}  // namespace
