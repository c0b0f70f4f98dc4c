#pragma once

#include "platform/platform.h"

namespace platform {

// The present device interfaces of a class, through SetupAPI's 8-bit calls.
// A set handle points to a record that keeps the interface found last and
// the device information data that its detail filled in, which the
// identifier and property calls take.
class Win32DeviceSetup : public DeviceSetup {
public:
    Handle openInterfaceSet(const Guid &interfaceClass) override;
    EnumOutcome enumInterface(Handle set, std::uint32_t index) override;
    std::optional<std::string> interfacePath(Handle set, std::uint32_t index) override;
    std::optional<std::string> instanceId(Handle set, std::uint32_t index) override;
    std::optional<std::string> registryProperty(Handle set, std::uint32_t index,
                                                RegistryProperty property) override;
    void closeInterfaceSet(Handle set) override;
};

}  // namespace platform
