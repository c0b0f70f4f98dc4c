#include "discovery/enumeration.h"

#include <cstdlib>
#include <string_view>

#include "discovery/hid_library.h"

namespace {

std::vector<std::string_view> splitAtBackslashes(std::string_view text)
{
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\\', start);
        segments.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return segments;
        start = end + 1;
    }
}

std::string lowerAscii(std::string_view text)
{
    std::string lowered(text);
    for (char &c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

// The four hexadecimal characters after `prefix` ("vid_" or "pid_"), when the
// prefix and four characters fit in the segment; 0 otherwise. The digits go
// through strtoul, so "1x34" reads as 1 and "zz12" as 0.
std::uint16_t idAfter(const std::string &segment, const char *prefix)
{
    const std::size_t at = segment.find(prefix);
    if (at == std::string::npos || segment.size() - at < 8)
        return 0;
    const std::string digits = segment.substr(at + 4, 4);
    return static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 16) & 0xFFFF);
}

}  // namespace

platform::DeviceClass deviceClassFor(int interfaceKind)
{
    return interfaceKind == hidInterfaceKind ? platform::DeviceClass::hid : platform::DeviceClass::usbDevice;
}

std::optional<UsbDeviceInfo> recordFromEntry(const platform::DeviceEntry &entry, int interfaceKind)
{
    UsbDeviceInfo record;
    if (entry.identity) {
        record.vendorId = entry.identity->vendorId;
        record.productId = entry.identity->productId;
        record.serialNumber = entry.identity->serialNumber;
    } else {
        const std::vector<std::string_view> segments = splitAtBackslashes(entry.instanceId);
        if (segments.size() < 3)
            return std::nullopt;
        const std::string ids = lowerAscii(segments[1]);
        record.vendorId = idAfter(ids, "vid_");
        record.productId = idAfter(ids, "pid_");
        // The system makes up a third segment such as 7&1A2B3C4D&0&0000 for a
        // device without a serial number; that is no serial number.
        const std::string_view serial = segments[2];
        if (!(serial.size() >= 2 && serial[1] == '&'))
            record.serialNumber = std::string(serial);
    }
    record.manufacturer = entry.manufacturer.value_or(std::string());
    record.description = entry.description.value_or(std::string());
    record.devicePath = entry.devicePath;
    record.interfaceKind = interfaceKind;
    return record;
}

DeviceList enumerateDevices(int interfaceKind)
{
    const std::shared_ptr<platform::UsbBackend> backend = platform::usbBackend();
    DeviceList devices;
    for (const platform::DeviceEntry &entry : backend->enumeration().listDevices(deviceClassFor(interfaceKind))) {
        std::optional<UsbDeviceInfo> record = recordFromEntry(entry, interfaceKind);
        if (!record)
            continue;
        record->backend = backend;
        if (interfaceKind == hidInterfaceKind && bindHidLibrary())
            hidLibrary().readDeviceStrings(*record);
        devices.push_back(std::move(*record));
    }
    return devices;
}

DeviceList filterDevices(const DeviceList &list, int vendorId, int productId)
{
    DeviceList matching;
    for (const UsbDeviceInfo &record : list) {
        // Ids are compared as unsigned 32-bit values: 70000 matches nothing.
        const bool vendorMatches = vendorId < 0 || std::uint32_t{record.vendorId} == static_cast<std::uint32_t>(vendorId);
        const bool productMatches =
            productId < 0 || std::uint32_t{record.productId} == static_cast<std::uint32_t>(productId);
        if (vendorMatches && productMatches)
            matching.push_back(record);
    }
    return matching;
}
