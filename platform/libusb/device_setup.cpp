#include "platform/libusb/device_setup.h"

#include <libusb.h>

#include <cstdio>

#include "platform/libusb/device_names.h"
#include "platform/libusb/sysfs_strings.h"
#include "platform/libusb/usb_context.h"

namespace platform {

namespace {

// Identifiers are read into a buffer of 100 characters with its terminator.
constexpr std::size_t maxInstanceIdLength = 99;
constexpr std::size_t idPrefixLength = sizeof "USB\\VID_xxxx&PID_xxxx\\" - 1;

// A serial number that can stand as the last segment of an identifier:
// printable ASCII, and neither the segment separator nor the comma that
// Windows also refuses in serial numbers.
bool usableSerial(const std::string &serial)
{
    if (serial.empty() || serial.size() > maxInstanceIdLength - idPrefixLength)
        return false;
    for (const char c : serial) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code > 0x7E || c == ',' || c == '\\')
            return false;
    }
    return true;
}

}  // namespace

std::string instanceIdFor(std::uint16_t vendorId, std::uint16_t productId,
                          const std::optional<std::string> &serialNumber,
                          const std::string &kernelName)
{
    char prefix[idPrefixLength + 1];
    std::snprintf(prefix, sizeof prefix, "USB\\VID_%04X&PID_%04X\\", vendorId, productId);
    std::string id = prefix;
    if (serialNumber && usableSerial(*serialNumber))
        id += *serialNumber;
    else
        id += ("0&" + kernelName).substr(0, maxInstanceIdLength - idPrefixLength);
    return id;
}

Handle LibusbDeviceSetup::openInterfaceSet(const Guid &interfaceClass)
{
    Snapshot snapshot;
    if (interfaceClass == usbDeviceInterfaceClass) {
        libusb_context *context = context_.get();
        if (!context)
            return invalidHandle;
        libusb_device **devices = nullptr;
        const ssize_t count = libusb_get_device_list(context, &devices);
        if (count < 0)
            return invalidHandle;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor descriptor{};
            // Served from the descriptors the kernel read at arrival.
            if (libusb_get_device_descriptor(devices[i], &descriptor) != LIBUSB_SUCCESS)
                continue;
            const std::string name = kernelName(devices[i]);
            snapshot.push_back({instanceIdFor(descriptor.idVendor, descriptor.idProduct,
                                              sysfsString(name, "serial"), name),
                                sysfsString(name, "manufacturer"), sysfsString(name, "product"),
                                devicePathFor(name)});
        }
        libusb_free_device_list(devices, 1);
    }
    const Handle set = nextSet_++;
    sets_.emplace(set, std::move(snapshot));
    return set;
}

const LibusbDeviceSetup::Entry *LibusbDeviceSetup::entry(Handle set, std::uint32_t index) const
{
    const auto found = sets_.find(set);
    if (found == sets_.end() || index >= found->second.size())
        return nullptr;
    return &found->second[index];
}

EnumOutcome LibusbDeviceSetup::enumInterface(Handle set, std::uint32_t index)
{
    if (sets_.find(set) == sets_.end())
        return EnumOutcome::failed;
    return entry(set, index) ? EnumOutcome::found : EnumOutcome::noMoreItems;
}

std::optional<std::string> LibusbDeviceSetup::interfacePath(Handle set, std::uint32_t index)
{
    const Entry *found = entry(set, index);
    if (!found)
        return std::nullopt;
    return found->path;
}

std::optional<std::string> LibusbDeviceSetup::instanceId(Handle set, std::uint32_t index)
{
    const Entry *found = entry(set, index);
    if (!found)
        return std::nullopt;
    return found->instanceId;
}

std::optional<std::string> LibusbDeviceSetup::registryProperty(Handle set, std::uint32_t index,
                                                               RegistryProperty property)
{
    const Entry *found = entry(set, index);
    if (!found)
        return std::nullopt;
    return property == RegistryProperty::manufacturer ? found->manufacturer : found->description;
}

void LibusbDeviceSetup::closeInterfaceSet(Handle set) { sets_.erase(set); }

}  // namespace platform
