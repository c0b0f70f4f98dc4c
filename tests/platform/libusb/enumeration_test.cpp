#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/enumeration.h"
#include "tests/platform/libusb/libusb_fixture.h"

namespace {

struct Listed {
    std::string instanceId;
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
    std::string devicePath;
    friend bool operator==(const Listed &, const Listed &) = default;
};

void PrintTo(const Listed &listed, std::ostream *os)
{
    *os << listed.devicePath << " " << listed.instanceId << " [" << listed.manufacturer.value_or("-")
        << "] [" << listed.description.value_or("-") << "]";
}

// The entries that the backend gives the enumeration loop, by device path:
// libusb does not promise an order.
std::vector<Listed> listedDevices()
{
    std::vector<Listed> listed;
    for (const auto &entry : listInterfaces(platform::usbDeviceInterfaceClass))
        listed.push_back({entry.instanceId, entry.manufacturer, entry.description, entry.devicePath});
    std::sort(listed.begin(), listed.end(),
              [](const Listed &a, const Listed &b) { return a.devicePath < b.devicePath; });
    return listed;
}

EmulatedDevice::Description describe(std::string kernelName, int address, std::uint16_t vendorId,
                                     std::uint16_t productId, std::optional<std::string> serial)
{
    auto description = EmulatedDevice::at(std::move(kernelName), address);
    description.vendorId = vendorId;
    description.productId = productId;
    description.serial = std::move(serial);
    return description;
}

class LibusbEnumeration : public LibusbFixture {};

TEST_F(LibusbEnumeration, ListsEveryDeviceWithIdsStringsAndPathWithoutTouchingIt)
{
    auto adapter = describe("1-1", 2, 0x131B, 0x0010, "VT0012345");
    adapter.manufacturer = "Vantrel";
    adapter.product = "Vantrel JTAG adapter";
    auto unnamed = describe("1-2", 3, 0x131B, 0x0003, std::nullopt);
    auto foreign = describe("1-3", 4, 0x1234, 0xABCD, "X1");
    foreign.manufacturer = "Other Maker";
    auto hub = describe("1-4", 5, 0x1234, 0x0001, std::nullopt);
    hub.bulkInterface = false;
    auto behindHub = describe("1-4.2", 6, 0x131B, 0x0005, "VT5");
    behindHub.product = "Vantrel \xC3\xA9tape \xE2\x9C\x93";  // UTF-8 as the kernel gives it
    std::vector<EmulatedDevice *> devices;
    for (const auto &description : {adapter, unnamed, foreign, hub, behindHub})
        devices.push_back(&testbed.add(description));

    const std::vector<Listed> expected = {
        {"USB\\VID_131B&PID_0010\\VT0012345", "Vantrel", "Vantrel JTAG adapter", "usb:1-1"},
        {"USB\\VID_131B&PID_0003\\0&1-2", std::nullopt, std::nullopt, "usb:1-2"},
        {"USB\\VID_1234&PID_ABCD\\X1", "Other Maker", std::nullopt, "usb:1-3"},
        {"USB\\VID_1234&PID_0001\\0&1-4", std::nullopt, std::nullopt, "usb:1-4"},
        {"USB\\VID_131B&PID_0005\\VT5", std::nullopt, "Vantrel \xE9tape ?", "usb:1-4.2"},
    };
    EXPECT_EQ(listedDevices(), expected);
    for (EmulatedDevice *device : devices)
        EXPECT_EQ(device->ioctls(), 0) << device->sysPath() << " was opened";

    // What the poll keeps of it.
    const DeviceList family = filterDevices(enumerateDevices(0), 0x131B, -1);
    ASSERT_EQ(family.size(), 3u);
    std::vector<std::pair<std::string, std::uint16_t>> serials;
    for (const UsbDeviceInfo &record : family)
        serials.emplace_back(record.serialNumber, record.productId);
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::pair<std::string, std::uint16_t>>{
                           {"", 0x0003}, {"VT0012345", 0x0010}, {"VT5", 0x0005}}));

    EXPECT_TRUE(enumerateDevices(hidInterfaceKind).empty()) << "no HID class here";
}

TEST_F(LibusbEnumeration, ASecondDeviceAppearsAndAPulledOneGoes)
{
    EmulatedDevice &first = testbed.add(describe("1-1", 2, 0x131B, 0x0010, "VT1"));
    ASSERT_EQ(listedDevices().size(), 1u);
    testbed.add(describe("1-2", 3, 0x131B, 0x0010, "VT2"));
    first.unplug();
    // libusb learns of both from the kernel's events, on its own thread.
    std::vector<Listed> listed;
    for (int tries = 0; tries < 200; ++tries) {
        listed = listedDevices();
        if (listed.size() == 1 && listed[0].devicePath == "usb:1-2")
            break;
        usleep(10'000);
    }
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].instanceId, "USB\\VID_131B&PID_0010\\VT2");
}

TEST_F(LibusbEnumeration, SerialNumbersThatCannotStandInAnIdentifierAreMadeUp)
{
    const std::string longest(77, 'S');
    const struct {
        std::string serial;
        std::string lastSegment;
    } cases[] = {
        {"ab12-CD", "ab12-CD"},
        {longest, longest},  // fills the 99 characters exactly
        {longest + "S", "0&1-3"},
        {"A\\B", "0&1-4"},  // would split the identifier
        {"A,B", "0&1-5"},
        {"A\tB", "0&1-6"},
        {"", "0&1-7"},
    };
    int port = 1;
    for (const auto &c : cases) {
        testbed.add(describe("1-" + std::to_string(port), port + 1, 0x131B, 0x0010, c.serial));
        ++port;
    }

    const std::vector<Listed> listed = listedDevices();
    ASSERT_EQ(listed.size(), std::size(cases));
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].instanceId, "USB\\VID_131B&PID_0010\\" + cases[i].lastSegment);
        EXPECT_LE(listed[i].instanceId.size(), 99u);
    }
}

}  // namespace
