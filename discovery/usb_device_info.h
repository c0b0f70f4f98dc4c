#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class HDataLink;
struct FirmwareImage;

// One attached device interface, as the device setup service lists it.
struct UsbDeviceInfo {
    std::uint16_t vendorId = 0;   // from the instance identifier; 0 when it has none
    std::uint16_t productId = 0;  // tells the family's variants apart
    std::string serialNumber;
    std::string manufacturer;
    std::string description;
    std::int32_t interfaceKind = 0;  // the kind that was enumerated to find it
    std::string devicePath;          // the name under which the device is opened

    // The carried image for this adapter's variant, or null when the updater
    // carries none (update/catalogue.cpp).
    const FirmwareImage *firmwareImage() const;
    // A new data link to this adapter; opening it may throw HException.
    std::unique_ptr<HDataLink> createDataLink() const;
};

using DeviceList = std::vector<UsbDeviceInfo>;
