#pragma once

#include <string>
#include <string_view>

#include "discovery/usb_device_info.h"

// The USB vendor id of the family's adapters.
inline constexpr int familyVendorId = 0x131B;

// What the window's status line says of what is attached; the command-line
// tool says the same.
inline constexpr const char *noAdaptersText = "No devices connected, attach the Vantrel you wish to configure.";
inline constexpr const char *severalAdaptersText = "Multiple devices connected, attach only one Vantrel.";
inline constexpr const char *unsupportedAdapterText = "The attached Vantrel is not supported by Vantrel Update.";
// ... and once it has read the one supported adapter's loader information.
inline constexpr const char *adapterReadyText = "Device ready.";

// The attached devices of the family, whatever their product id, as the poll
// lists them once a second: every USB device, filtered by the vendor id.
DeviceList attachedAdapters();

// Where an adapter is plugged in, as the tool shows it and a user types it
// after --port, and as the history keeps it: the device path, less the
// "usb:" that the libusb backend's paths begin with.
std::string portOf(const UsbDeviceInfo &device);
// The device path that `--port P` names on the backend of that name: what
// portOf took off, put back.
std::string devicePathAt(const std::string &port, std::string_view backend);
