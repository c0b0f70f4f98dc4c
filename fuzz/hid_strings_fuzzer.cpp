// A HID device's own strings, as the HID library reads them into a record:
// any UTF-16 text of any length, and opens or calls that fail.

#include <fuzzer/FuzzedDataProvider.h>

#include "discovery/enumeration.h"
#include "fuzz/fuzz_check.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "tests/support/observing_backend.h"

namespace {

std::optional<std::u16string> maybeText(FuzzedDataProvider &input)
{
    if (!input.ConsumeBool())
        return std::nullopt;
    std::u16string text(input.ConsumeIntegralInRange<std::size_t>(0, 600), u'\0');
    for (char16_t &unit : text)
        unit = input.ConsumeIntegral<char16_t>();
    return text;
}

// What a record holds of a string the device reports: the low byte of each
// unit up to the first zero, at most the 512 units the buffer holds.
std::string narrowed(const std::u16string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < 512 && text[i] != 0; ++i)
        out.push_back(static_cast<char>(text[i] & 0xFF));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    platform::VirtualClock clock;
    auto bus = platform::VirtualBus::create(clock);
    platform::VirtualInterface device;
    device.deviceClass = platform::DeviceClass::hid;
    device.instanceId = "HID\\VID_131B&PID_0010\\" + input.ConsumeRandomLengthString(40);
    device.devicePath = "\\\\?\\hid#fuzzed";
    device.hidOpenFails = input.ConsumeBool();
    device.hidSharedOpenFails = input.ConsumeBool();
    device.hidManufacturer = maybeText(input);
    device.hidProduct = maybeText(input);
    device.hidSerialNumber = maybeText(input);
    bus->addInterface(device);
    const auto observer = std::make_shared<ObservingBackend>(bus);
    const platform::ScopedServices services({&clock, observer});

    const DeviceList records = enumerateDevices(hidInterfaceKind);
    FUZZ_CHECK(records.size() == 1);
    const UsbDeviceInfo &record = records.front();
    const bool opened = !device.hidOpenFails || !device.hidSharedOpenFails;
    if (opened && device.hidManufacturer)
        FUZZ_CHECK(record.manufacturer == narrowed(*device.hidManufacturer));
    if (opened && device.hidProduct)
        FUZZ_CHECK(record.description == narrowed(*device.hidProduct));
    FUZZ_CHECK(record.serialNumber.size() <= 512);
    FUZZ_CHECK(observer->openHandles() == 0);
    return 0;
}
