#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/enumeration.h"
#include "tests/platform/libusb/libusb_fixture.h"

#include <unistd.h>

namespace {

struct Listed {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::string serialNumber;
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
    std::string devicePath;
    friend bool operator==(const Listed &, const Listed &) = default;
};

void PrintTo(const Listed &listed, std::ostream *os)
{
    *os << listed.devicePath << " " << std::hex << listed.vendorId << ":" << listed.productId << std::dec << " "
        << listed.serialNumber << " [" << listed.manufacturer.value_or("-")
        << "] [" << listed.description.value_or("-") << "]";
}

// The entries that the backend gives the record layer, by device path:
// libusb does not promise an order.
std::vector<Listed> listedDevices(platform::UsbBackend &backend)
{
    std::vector<Listed> listed;
    for (const auto &entry : backend.enumeration().listDevices(platform::DeviceClass::usbDevice)) {
        EXPECT_TRUE(entry.identity) << "libusb knows the ids and serial numbers of its devices";
        EXPECT_EQ(entry.instanceId, "");
        if (entry.identity)
            listed.push_back({entry.identity->vendorId, entry.identity->productId, entry.identity->serialNumber,
                              entry.manufacturer, entry.description, entry.devicePath});
    }
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
        {0x131B, 0x0010, "VT0012345", "Vantrel", "Vantrel JTAG adapter", "usb:1-1"},
        {0x131B, 0x0003, "", std::nullopt, std::nullopt, "usb:1-2"},
        {0x1234, 0xABCD, "X1", "Other Maker", std::nullopt, "usb:1-3"},
        {0x1234, 0x0001, "", std::nullopt, std::nullopt, "usb:1-4"},
        {0x131B, 0x0005, "VT5", std::nullopt, "Vantrel \xE9tape ?", "usb:1-4.2"},
    };
    EXPECT_EQ(listedDevices(*backend), expected);
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
    ASSERT_EQ(listedDevices(*backend).size(), 1u);
    testbed.add(describe("1-2", 3, 0x131B, 0x0010, "VT2"));
    first.unplug();
    // libusb learns of both from the kernel's events, on its own thread.
    std::vector<Listed> listed;
    for (int tries = 0; tries < 200; ++tries) {
        listed = listedDevices(*backend);
        if (listed.size() == 1 && listed[0].devicePath == "usb:1-2")
            break;
        usleep(10'000);
    }
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].serialNumber, "VT2");
}

TEST_F(LibusbEnumeration, SerialNumbersThatWindowsWouldNotUseCountAsNone)
{
    const std::string longest(77, 'S');
    const struct {
        std::string serial;
        std::string known;
    } cases[] = {
        {"ab12-CD", "ab12-CD"},
        {longest, longest},  // an identifier of 99 characters exactly
        {longest + "S", ""},
        {"A\\B", ""},  // would split the identifier
        {"A,B", ""},
        {"A\tB", ""},
        {"", ""},
    };
    int port = 1;
    for (const auto &c : cases) {
        testbed.add(describe("1-" + std::to_string(port), port + 1, 0x131B, 0x0010, c.serial));
        ++port;
    }

    const std::vector<Listed> listed = listedDevices(*backend);
    ASSERT_EQ(listed.size(), std::size(cases));
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_EQ(listed[i].serialNumber, cases[i].known) << cases[i].serial;
}

TEST_F(LibusbEnumeration, ReadsADevicesStringsOnceWhileItStaysAttached)
{
    EmulatedDevice &first = testbed.add(describe("1-1", 2, 0x131B, 0x0010, "VT1"));
    for (int i = 0; i < 6; ++i)
        testbed.add(describe("1-" + std::to_string(i + 2), i + 3, 0x1234, 0x0001, "X" + std::to_string(i)));
    platform::LibusbDeviceList &list = backend->enumeration();

    ASSERT_EQ(listedDevices(*backend).size(), 7u);
    EXPECT_EQ(list.stringReads(), 7);
    for (int poll = 0; poll < 5; ++poll)
        ASSERT_EQ(listedDevices(*backend).size(), 7u);
    EXPECT_EQ(list.stringReads(), 7) << "later polls read no strings";

    // Plugged in again at the same port, it is a new arrival whose strings
    // may differ: they are read again.
    first.unplug();
    std::vector<Listed> listed;
    for (int tries = 0; tries < 200 && listed.size() != 6; ++tries, usleep(10'000))
        listed = listedDevices(*backend);
    ASSERT_EQ(listed.size(), 6u);
    testbed.add(describe("1-1", 9, 0x131B, 0x0010, "VT1-NEW"));
    for (int tries = 0; tries < 200 && listed.size() != 7; ++tries, usleep(10'000))
        listed = listedDevices(*backend);
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[0].serialNumber, "VT1-NEW");
    EXPECT_EQ(list.stringReads(), 8);
}

}  // namespace
