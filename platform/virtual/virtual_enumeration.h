#pragma once

#include <vector>

#include "platform/usb_backend.h"

namespace platform {

class VirtualBus;

// The virtual bus's listing: its present devices with their USB ids, then
// the interfaces made up by hand, by their instance identifiers.
class VirtualEnumeration : public DeviceEnumeration {
public:
    explicit VirtualEnumeration(VirtualBus &bus) : bus_(bus) {}

    std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) override;

private:
    VirtualBus &bus_;
};

}  // namespace platform
