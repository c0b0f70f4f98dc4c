// A device entry as any system could list it, instance identifier and strings
// made up by the fuzzer, into a record, and the record's per-variant rules.

#include <fuzzer/FuzzedDataProvider.h>

#include "discovery/enumeration.h"
#include "fuzz/fuzz_check.h"
#include "update/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    platform::DeviceEntry entry;
    const bool withIdentity = input.ConsumeBool();
    if (withIdentity) {
        platform::UsbIdentity identity;
        identity.vendorId = input.ConsumeIntegral<std::uint16_t>();
        identity.productId = input.ConsumeIntegral<std::uint16_t>();
        identity.serialNumber = input.ConsumeRandomLengthString(300);
        entry.identity = identity;
    }
    if (input.ConsumeBool())
        entry.manufacturer = input.ConsumeRandomLengthString(300);
    if (input.ConsumeBool())
        entry.description = input.ConsumeRandomLengthString(300);
    entry.devicePath = input.ConsumeRandomLengthString(300);
    const int interfaceKind = input.ConsumeIntegral<int>();
    entry.instanceId = input.ConsumeRemainingBytesAsString();

    const std::optional<UsbDeviceInfo> record = recordFromEntry(entry, interfaceKind);
    std::size_t backslashes = 0;
    for (const char c : entry.instanceId)
        backslashes += c == '\\';
    FUZZ_CHECK(record.has_value() == (withIdentity || backslashes >= 2));
    if (!record)
        return 0;
    FUZZ_CHECK(record->devicePath == entry.devicePath);
    FUZZ_CHECK(record->manufacturer == entry.manufacturer.value_or(""));
    FUZZ_CHECK(record->description == entry.description.value_or(""));
    FUZZ_CHECK(record->interfaceKind == interfaceKind);
    if (withIdentity) {
        FUZZ_CHECK(record->serialNumber == entry.identity->serialNumber);
    } else {
        // The serial number is the third segment or nothing; never more.
        FUZZ_CHECK(record->serialNumber.find('\\') == std::string::npos);
        FUZZ_CHECK(record->serialNumber.size() <= entry.instanceId.size());
    }
    // What the poll asks of a record next: the carried image that fits it.
    if (const FirmwareImage *image = record->firmwareImage())
        FUZZ_CHECK(image->image != nullptr && image->imageSize > 0);
    return 0;
}
