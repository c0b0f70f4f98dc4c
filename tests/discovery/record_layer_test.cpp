#include <gtest/gtest.h>

#include "discovery/enumeration.h"

namespace {

struct RecordCase {
    const char *instanceId;
    bool yieldsRecord;
    std::uint16_t vendorId;
    std::uint16_t productId;
    const char *serialNumber;
};

void PrintTo(const RecordCase &c, std::ostream *os) { *os << c.instanceId; }

class RecordLayer : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordLayer, ParsesTheInstanceIdentifier)
{
    const RecordCase &c = GetParam();
    const platform::DeviceEntry entry{"\\\\?\\path", std::nullopt, c.instanceId, "Maker", "Thing"};
    const std::optional<UsbDeviceInfo> record = recordFromEntry(entry, 0);
    ASSERT_EQ(record.has_value(), c.yieldsRecord);
    if (!record)
        return;
    EXPECT_EQ(record->vendorId, c.vendorId);
    EXPECT_EQ(record->productId, c.productId);
    EXPECT_EQ(record->serialNumber, c.serialNumber);
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, RecordLayer,
    testing::Values(
        RecordCase{"USB\\VID_131B&PID_0005\\VT0012345", true, 0x131B, 5, "VT0012345"},
        // Mixed case ids, trailing interface number, a made-up serial number.
        RecordCase{"USB\\Vid_131b&Pid_0010&MI_00\\7&1A2B3C4D&0&0000", true, 0x131B, 16, ""},
        // Only the second segment is lowered: the serial keeps its case.
        RecordCase{"USB\\VID_131B&PID_0004\\aBcD", true, 0x131B, 4, "aBcD"},
        RecordCase{"USB\\VID_131B&PID_0004\\A", true, 0x131B, 4, "A"},          // one character
        RecordCase{"USB\\VID_131B&PID_0004\\AB&C", true, 0x131B, 4, "AB&C"},    // "&" later than second
        RecordCase{"USB\\VID_131B&PID_0004\\", true, 0x131B, 4, ""},            // empty third segment
        RecordCase{"ROOT\\SYSTEM", false, 0, 0, ""},                            // two segments
        RecordCase{"", false, 0, 0, ""},
        RecordCase{"USB\\VID_131B&PID_0006\\SER1\\EXTRA", true, 0x131B, 6, "SER1"},  // four segments
        RecordCase{"USB\\PID_0006&VID_13\\S", true, 0, 6, "S"},                  // ends two after vid_
        RecordCase{"USB\\VID_zz12&PID_0006\\S", true, 0, 6, "S"},
        RecordCase{"USB\\VID_1x34&PID_0006\\S", true, 1, 6, "S"},
        RecordCase{"USB\\VID_0x1F&PID_ 0a0\\S", true, 0x1F, 0xA0, "S"},         // strtoul's prefix and blanks
        RecordCase{"USB\\PID_0003\\S", true, 0, 3, "S"},                          // no vid_ at all
        RecordCase{"USB\\XXVID_131B\\S", true, 0x131B, 0, "S"}),
    [](const testing::TestParamInfo<RecordCase> &param) { return "case" + std::to_string(param.index); });

TEST(RecordLayerStrings, AbsentPropertiesBecomeEmptyAndTheKindIsKept)
{
    const platform::DeviceEntry entry{"p", std::nullopt, "USB\\VID_131B&PID_0010\\X", std::nullopt, std::nullopt};
    const std::optional<UsbDeviceInfo> record = recordFromEntry(entry, 257);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->manufacturer, "");
    EXPECT_EQ(record->description, "");
    EXPECT_EQ(record->interfaceKind, 257);
    EXPECT_EQ(record->devicePath, "p");
}

TEST(RecordLayerIdentity, ABackendsOwnIdsAndSerialNumberAreTakenAsTheyAre)
{
    // A backend that knows the ids has no identifier to parse; its serial
    // number is taken whole, even with the characters an identifier splits at.
    for (const char *serial : {"VT0012345", "", "7&1A2B3C4D", "A\\B", "\xE9t\xE9"}) {
        const platform::DeviceEntry entry{"usb:1-2", platform::UsbIdentity{0x131B, 0x0010, serial}, "",
                                          "Vantrel", std::nullopt};
        const std::optional<UsbDeviceInfo> record = recordFromEntry(entry, 0);
        ASSERT_TRUE(record) << serial;
        EXPECT_EQ(record->vendorId, 0x131B);
        EXPECT_EQ(record->productId, 0x0010);
        EXPECT_EQ(record->serialNumber, serial);
        EXPECT_EQ(record->manufacturer, "Vantrel");
        EXPECT_EQ(record->devicePath, "usb:1-2");
    }
}

UsbDeviceInfo device(std::uint16_t vendorId, std::uint16_t productId, std::string serial)
{
    UsbDeviceInfo record;
    record.vendorId = vendorId;
    record.productId = productId;
    record.serialNumber = std::move(serial);
    return record;
}

std::vector<std::string> serialsOf(const DeviceList &list)
{
    std::vector<std::string> serials;
    for (const UsbDeviceInfo &record : list)
        serials.push_back(record.serialNumber);
    return serials;
}

TEST(FilterDevices, KeepsMatchingRecordsInOrder)
{
    const DeviceList list = {device(0x131B, 3, "a"), device(0x0403, 0x6001, "b"), device(0x131B, 16, "c"),
                             device(0xFFFF, 0xFFFF, "d")};
    EXPECT_EQ(serialsOf(filterDevices(list, 4891, -1)), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(serialsOf(filterDevices(list, -1, -1)), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(serialsOf(filterDevices(list, 4891, 16)), (std::vector<std::string>{"c"}));
    EXPECT_EQ(serialsOf(filterDevices(list, -1, 0xFFFF)), (std::vector<std::string>{"d"}));
    EXPECT_TRUE(filterDevices(list, 70000, -1).empty());
    EXPECT_TRUE(filterDevices({}, -1, -1).empty());
}

}  // namespace
