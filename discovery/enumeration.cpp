#include "discovery/enumeration.h"

#include <cstdlib>
#include <string_view>

#include "discovery/hid_library.h"

namespace {

constexpr platform::Guid hidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The service is asked for at most this many interfaces of one class.
constexpr std::uint32_t maxInterfaces = 127;

// Releases the interface set however the listing ends.
class InterfaceSet {
public:
    explicit InterfaceSet(const platform::Guid &interfaceClass)
        : setup_(platform::deviceSetup()), handle_(setup_.openInterfaceSet(interfaceClass))
    {
    }
    ~InterfaceSet()
    {
        if (valid())
            setup_.closeInterfaceSet(handle_);
    }
    InterfaceSet(const InterfaceSet &) = delete;
    InterfaceSet &operator=(const InterfaceSet &) = delete;

    bool valid() const { return handle_ != platform::invalidHandle; }
    platform::Handle handle() const { return handle_; }

private:
    platform::DeviceSetup &setup_;
    platform::Handle handle_;
};

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

const platform::Guid &interfaceClassFor(int interfaceKind)
{
    return interfaceKind == hidInterfaceKind ? hidInterfaceClass : platform::usbDeviceInterfaceClass;
}

std::vector<DeviceInterfaceEntry> listInterfaces(const platform::Guid &interfaceClass)
{
    std::vector<DeviceInterfaceEntry> entries;
    InterfaceSet set(interfaceClass);
    if (!set.valid())
        return entries;
    platform::DeviceSetup &setup = platform::deviceSetup();
    for (std::uint32_t index = 0; index < maxInterfaces; ++index) {
        const platform::EnumOutcome outcome = setup.enumInterface(set.handle(), index);
        if (outcome == platform::EnumOutcome::noMoreItems)
            break;
        if (outcome == platform::EnumOutcome::failed)
            continue;
        std::optional<std::string> path = setup.interfacePath(set.handle(), index);
        if (!path)
            continue;
        DeviceInterfaceEntry entry;
        entry.devicePath = std::move(*path);
        entry.instanceId = setup.instanceId(set.handle(), index).value_or(std::string());
        entry.manufacturer = setup.registryProperty(set.handle(), index, platform::RegistryProperty::manufacturer);
        entry.description = setup.registryProperty(set.handle(), index, platform::RegistryProperty::description);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<UsbDeviceInfo> recordFromEntry(const DeviceInterfaceEntry &entry, int interfaceKind)
{
    const std::vector<std::string_view> segments = splitAtBackslashes(entry.instanceId);
    if (segments.size() < 3)
        return std::nullopt;
    const std::string ids = lowerAscii(segments[1]);

    UsbDeviceInfo record;
    record.vendorId = idAfter(ids, "vid_");
    record.productId = idAfter(ids, "pid_");
    // The system makes up a third segment such as 7&1A2B3C4D&0&0000 for a
    // device without a serial number; that is no serial number.
    const std::string_view serial = segments[2];
    if (!(serial.size() >= 2 && serial[1] == '&'))
        record.serialNumber = std::string(serial);
    record.manufacturer = entry.manufacturer.value_or(std::string());
    record.description = entry.description.value_or(std::string());
    record.devicePath = entry.devicePath;
    record.interfaceKind = interfaceKind;
    if (interfaceKind == hidInterfaceKind && bindHidLibrary())
        hidLibrary().readDeviceStrings(record);
    return record;
}

DeviceList enumerateDevices(int interfaceKind)
{
    DeviceList devices;
    for (const DeviceInterfaceEntry &entry : listInterfaces(interfaceClassFor(interfaceKind)))
        if (std::optional<UsbDeviceInfo> record = recordFromEntry(entry, interfaceKind))
            devices.push_back(std::move(*record));
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
