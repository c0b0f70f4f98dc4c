#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class HDataLink;
struct FirmwareImage;

namespace platform {
class UsbBackend;
}

// One attached device interface, as the device setup service lists it.
struct UsbDeviceInfo {
    std::uint16_t vendorId = 0;   // 0 when the device does not tell it
    std::uint16_t productId = 0;  // tells the family's variants apart
    std::string serialNumber;
    std::string manufacturer;
    std::string description;
    std::int32_t interfaceKind = 0;  // the kind that was enumerated to find it
    std::string devicePath;          // the name under which the device is opened
    // The backend that listed the device: its links are opened through it
    // and release their handles to it. Empty for a record made by hand,
    // which opens through the installed backend.
    std::shared_ptr<platform::UsbBackend> backend;

    // The carried image for this adapter's variant, or null when the updater
    // carries none (update/catalogue.cpp).
    const FirmwareImage *firmwareImage() const;
    // A new data link to this adapter; opening it may throw HException.
    std::unique_ptr<HDataLink> createDataLink() const;
};

using DeviceList = std::vector<UsbDeviceInfo>;
