#include "platform/virtual/virtual_enumeration.h"

#include "platform/virtual/virtual_bus.h"

namespace platform {

namespace {

std::optional<std::string> unlessEmpty(const std::string &text)
{
    return text.empty() ? std::nullopt : std::optional(text);
}

}  // namespace

std::vector<DeviceEntry> VirtualEnumeration::listDevices(DeviceClass deviceClass)
{
    std::vector<DeviceEntry> entries;
    if (deviceClass == DeviceClass::usbDevice) {
        for (const auto &device : bus_.devices()) {
            if (!device->present())
                continue;
            const VirtualDeviceDescription &description = device->description();
            DeviceEntry entry;
            entry.devicePath = description.devicePath;
            entry.identity = UsbIdentity{description.vendorId, description.productId, description.serialNumber};
            entry.manufacturer = unlessEmpty(description.manufacturer);
            entry.description = unlessEmpty(description.description);
            entries.push_back(std::move(entry));
        }
    }
    for (const VirtualInterface &interface : bus_.interfaces()) {
        if (interface.deviceClass != deviceClass)
            continue;
        DeviceEntry entry;
        entry.devicePath = interface.devicePath;
        entry.instanceId = interface.instanceId;
        entry.manufacturer = interface.manufacturer;
        entry.description = interface.description;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace platform
