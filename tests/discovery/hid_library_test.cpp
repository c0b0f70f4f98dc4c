#include "discovery/hid_library.h"

#include "discovery/enumeration.h"
#include "tests/support/bus_fixture.h"

namespace {

class HidStrings : public BusFixture {
protected:
    platform::VirtualInterface &addHidDevice()
    {
        platform::VirtualInterface entry;
        entry.deviceClass = deviceClassFor(hidInterfaceKind);
        entry.instanceId = "HID\\VID_131B&PID_0010\\IDSERIAL";
        entry.devicePath = "\\\\?\\hid#1";
        entry.manufacturer = "Registry maker";
        entry.description = "Registry description";
        entry.hidManufacturer = u"Device maker";
        entry.hidProduct = u"Device product";
        entry.hidSerialNumber = u"DEVSERIAL";
        device_ = entry;
        return device_;
    }

    UsbDeviceInfo enumerateOne()
    {
        bus.addInterface(device_);
        const DeviceList devices = enumerateDevices(hidInterfaceKind);
        EXPECT_EQ(devices.size(), 1U);
        return devices.empty() ? UsbDeviceInfo{} : devices.front();
    }

private:
    platform::VirtualInterface device_;
};

TEST_F(HidStrings, TheDevicesOwnStringsReplaceTheRegistrys)
{
    addHidDevice();
    const UsbDeviceInfo record = enumerateOne();
    EXPECT_EQ(record.manufacturer, "Device maker");
    EXPECT_EQ(record.description, "Device product");
    EXPECT_EQ(record.serialNumber, "DEVSERIAL");
    EXPECT_EQ(observer.hidOpenAttempts(), std::vector<bool>{false}) << "opened without sharing first";
    EXPECT_EQ(observer.hidStringCallSizes(), (std::vector<std::uint32_t>{1024, 1024, 1024}));
    EXPECT_EQ(observer.openHandles(), 0) << "the device handle is closed";
}

TEST_F(HidStrings, WithoutTheLibraryTheRegistryStringsStay)
{
    addHidDevice();
    bus.hidLibrary().setAvailable(false);
    const UsbDeviceInfo record = enumerateOne();
    EXPECT_EQ(record.manufacturer, "Registry maker");
    EXPECT_EQ(record.description, "Registry description");
    EXPECT_EQ(record.serialNumber, "IDSERIAL");
}

struct StringCase {
    const char *name;
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    std::optional<std::u16string> serialNumber;
    const char *expectedManufacturer;
    const char *expectedDescription;
    const char *expectedSerial;
};

void PrintTo(const StringCase &c, std::ostream *os) { *os << c.name; }

class HidStringRules : public HidStrings, public testing::WithParamInterface<StringCase> {};

TEST_P(HidStringRules, Apply)
{
    const StringCase &c = GetParam();
    platform::VirtualInterface &device = addHidDevice();
    device.hidManufacturer = c.manufacturer;
    device.hidProduct = c.product;
    device.hidSerialNumber = c.serialNumber;
    const UsbDeviceInfo record = enumerateOne();
    EXPECT_EQ(record.manufacturer, c.expectedManufacturer);
    EXPECT_EQ(record.description, c.expectedDescription);
    EXPECT_EQ(record.serialNumber, c.expectedSerial);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidStringRules,
    testing::Values(
        // An empty serial number string replaces the identifier's.
        StringCase{"EmptySerial", u"M", u"P", u"", "M", "P", ""},
        // A serial number from U+0100 up leaves the identifier's in place.
        StringCase{"WideSerial", u"M", u"P", u"\u0100ABC", "M", "P", "IDSERIAL"},
        // Characters beyond 8 bits keep their low 8 bits.
        StringCase{"NarrowedMaker", u"A\u0141B", u"P", u"S", "A\x41" "B", "P", "S"},
        // A failed product call keeps the registry description.
        StringCase{"ProductFails", u"M", std::nullopt, u"S", "M", "Registry description", "S"},
        StringCase{"AllFail", std::nullopt, std::nullopt, std::nullopt, "Registry maker", "Registry description",
                   "IDSERIAL"}),
    [](const testing::TestParamInfo<StringCase> &param) { return std::string(param.param.name); });

TEST_F(HidStrings, AStringThatFillsTheBufferStopsAtItsEnd)
{
    platform::VirtualInterface &device = addHidDevice();
    device.hidManufacturer = std::u16string(600, u'x');
    EXPECT_EQ(enumerateOne().manufacturer, std::string(512, 'x'));
}

TEST_F(HidStrings, AnExclusiveOpenFailureIsRetriedShared)
{
    platform::VirtualInterface &device = addHidDevice();
    device.hidOpenFails = true;
    EXPECT_EQ(enumerateOne().manufacturer, "Device maker");
    EXPECT_EQ(observer.hidOpenAttempts(), (std::vector<bool>{false, true}));
}

TEST_F(HidStrings, ADeviceThatCannotBeOpenedKeepsItsRegistryStrings)
{
    platform::VirtualInterface &device = addHidDevice();
    device.hidOpenFails = device.hidSharedOpenFails = true;
    const UsbDeviceInfo record = enumerateOne();
    EXPECT_EQ(record.manufacturer, "Registry maker");
    EXPECT_EQ(record.serialNumber, "IDSERIAL");
}

TEST_F(HidStrings, BindingLoadsOnceAndAFailedBindingIsTriedAgain)
{
    HidLibraryBinding binding;
    bus.hidLibrary().removeFunction("HidD_GetNumInputBuffers");  // the twelfth name
    EXPECT_FALSE(binding.bind());
    EXPECT_FALSE(binding.bound());
    EXPECT_EQ(observer.hidLibraryLoads(), 1);
    EXPECT_EQ(observer.hidLibraryFrees(), 1) << "a library lacking a function is released";

    const auto complete = std::make_shared<ObservingBackend>(platform::VirtualBus::create(clock));
    platform::ScopedServices services({&clock, complete});
    EXPECT_TRUE(binding.bind());
    EXPECT_TRUE(binding.bind());
    EXPECT_EQ(complete->hidLibraryLoads(), 1) << "bound once, then answered at once";
    EXPECT_EQ(complete->hidLibraryFrees(), 0);
}

}  // namespace
