#include "platform/interface_listing.h"

namespace platform {

std::vector<DeviceEntry> listInterfaceSet(InterfaceSet &set)
{
    std::vector<DeviceEntry> entries;
    for (std::uint32_t index = 0; index < maxListedInterfaces; ++index) {
        const EnumOutcome outcome = set.enumInterface(index);
        if (outcome == EnumOutcome::noMoreItems)
            break;
        if (outcome == EnumOutcome::failed)
            continue;
        std::optional<std::string> path = set.interfacePath();
        if (!path)
            continue;
        DeviceEntry entry;
        entry.devicePath = std::move(*path);
        entry.instanceId = set.instanceId().value_or(std::string());
        entry.manufacturer = set.registryProperty(RegistryProperty::manufacturer);
        entry.description = set.registryProperty(RegistryProperty::description);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace platform
