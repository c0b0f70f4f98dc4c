#pragma once

#include "platform/usb_backend.h"

namespace platform {

// The present device interfaces of a class, through SetupAPI's 8-bit calls.
// Windows knows a device by its instance identifier, which the entries carry
// for the record layer to parse.
class Win32DeviceSetup : public DeviceEnumeration {
public:
    std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) override;
};

}  // namespace platform
