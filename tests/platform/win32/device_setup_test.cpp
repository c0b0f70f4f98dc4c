// Device enumeration against Wine's own SetupAPI: no adapter is attached, but
// Wine brings HID devices of its own (a mouse and a keyboard), whose
// interface details, instance identifiers, registry properties and HID
// strings are all real.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "discovery/enumeration.h"
#include "discovery/hid_library.h"

namespace {

constexpr int usbInterfaceKind = 0;
constexpr std::uint16_t wineVendorId = 0x845E;

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST(Win32DeviceSetup, FindsNoAdapter)
{
    const DeviceList usb = enumerateDevices(usbInterfaceKind);
    EXPECT_TRUE(filterDevices(usb, 4891, -1).empty());
    for (const UsbDeviceInfo &record : usb) {
        EXPECT_EQ(record.interfaceKind, usbInterfaceKind);
        EXPECT_FALSE(record.devicePath.empty());
    }
}

TEST(Win32DeviceSetup, ListsEachInterfaceWithItsPathIdentifierAndRegistryStrings)
{
    const std::vector<platform::DeviceEntry> entries =
        platform::nativeServices().usb->enumeration().listDevices(platform::DeviceClass::hid);
    ASSERT_FALSE(entries.empty()) << "Wine's own HID devices are missing";
    for (const platform::DeviceEntry &entry : entries) {
        EXPECT_FALSE(entry.identity) << "Windows knows devices by their instance identifiers";
        SCOPED_TRACE(entry.devicePath);
        // The path names the same device as the identifier: HID\VID_...\...
        // becomes \\?\hid#vid_...#...#{class}.
        std::string idInPath = lowered(entry.instanceId);
        std::replace(idInPath.begin(), idInPath.end(), '\\', '#');
        EXPECT_EQ(lowered(entry.devicePath).rfind("\\\\?\\" + idInPath + "#{4d1e55b2-f16f-11cf-88cb-001111000030}", 0), 0U);
        ASSERT_TRUE(entry.description.has_value());
        EXPECT_FALSE(entry.description->empty());
        EXPECT_FALSE(entry.manufacturer.has_value()) << "Wine registers no manufacturer for them";
    }
}

TEST(Win32DeviceSetup, HidRecordsCarryTheStringsTheDevicesReport)
{
    ASSERT_TRUE(bindHidLibrary());
    int wineDevices = 0;
    for (const UsbDeviceInfo &record : enumerateDevices(hidInterfaceKind)) {
        EXPECT_EQ(record.interfaceKind, hidInterfaceKind);
        if (record.vendorId != wineVendorId)
            continue;
        ++wineDevices;
        SCOPED_TRACE(record.devicePath);
        // Neither comes from the registry or the identifier: the registry
        // has no manufacturer and the identifier no serial number.
        EXPECT_EQ(record.manufacturer, "The Wine Project");
        EXPECT_EQ(record.serialNumber, "0000");
        EXPECT_EQ(record.description.rfind("Wine HID ", 0), 0U) << record.description;
    }
    EXPECT_GT(wineDevices, 0);
}

TEST(Win32DeviceSetup, EnumerationLeavesNoHandleBehind)
{
    // The first call loads what SetupAPI and hid.dll keep for the process.
    enumerateDevices(hidInterfaceKind);
    enumerateDevices(usbInterfaceKind);
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 20; ++i) {
        enumerateDevices(hidInterfaceKind);
        enumerateDevices(usbInterfaceKind);
    }
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
}

}  // namespace
