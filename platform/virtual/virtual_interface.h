#pragma once

#include <optional>
#include <string>

#include "platform/usb_backend.h"

namespace platform {

// A device interface made up by hand, listed as a system that knows devices
// only by their instance identifiers (Windows) lists them, with the strings
// its HID library reads: for tests of the record layer's rules and of the
// HID strings.
struct VirtualInterface {
    DeviceClass deviceClass = DeviceClass::usbDevice;
    std::string instanceId;
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
    std::string devicePath;
    // What the HID library reads from the device; nothing: the call fails.
    std::optional<std::u16string> hidManufacturer;
    std::optional<std::u16string> hidProduct;
    std::optional<std::u16string> hidSerialNumber;
    bool hidOpenFails = false;        // without sharing
    bool hidSharedOpenFails = false;  // with sharing
};

}  // namespace platform
