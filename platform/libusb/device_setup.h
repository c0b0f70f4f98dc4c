#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class UsbContext;

// The present USB devices as libusb lists them, each given the instance
// identifier, strings and path that the record layer expects. Listing does
// no device I/O: the ids come from the descriptors the kernel cached and the
// strings from sysfs, because the poll lists every device once a second and
// must neither wake nor disturb them.
class LibusbDeviceSetup : public DeviceSetup {
public:
    explicit LibusbDeviceSetup(UsbContext &context) : context_(context) {}

    Handle openInterfaceSet(const Guid &interfaceClass) override;
    EnumOutcome enumInterface(Handle set, std::uint32_t index) override;
    std::optional<std::string> interfacePath(Handle set, std::uint32_t index) override;
    std::optional<std::string> instanceId(Handle set, std::uint32_t index) override;
    std::optional<std::string> registryProperty(Handle set, std::uint32_t index,
                                                RegistryProperty property) override;
    void closeInterfaceSet(Handle set) override;

private:
    struct Entry {
        std::string instanceId;
        std::optional<std::string> manufacturer;
        std::optional<std::string> description;
        std::string path;
    };
    using Snapshot = std::vector<Entry>;

    const Entry *entry(Handle set, std::uint32_t index) const;

    UsbContext &context_;
    std::map<Handle, Snapshot> sets_;
    Handle nextSet_ = 1;
};

// The instance identifier of a device: USB\VID_xxxx&PID_xxxx\<serial>. A
// device without a usable serial number gets a made-up last segment whose
// second character is "&" (from its kernel name), which the record layer
// reads as "no serial number", as it does for such devices on Windows.
std::string instanceIdFor(std::uint16_t vendorId, std::uint16_t productId,
                          const std::optional<std::string> &serialNumber,
                          const std::string &kernelName);

}  // namespace platform
