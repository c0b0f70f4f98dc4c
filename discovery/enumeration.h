#pragma once

#include <memory>
#include <optional>

#include "discovery/usb_device_info.h"
#include "platform/platform.h"

// Interface kinds that select a device interface class.
inline constexpr int hidInterfaceKind = 3;

// The class that `interfaceKind` selects: HID for 3, every USB device for
// anything else (the poll passes 0).
platform::DeviceClass deviceClassFor(int interfaceKind);

// Makes one entry into a record: the backend's own ids and serial number, or
// else those parsed from its instance identifier (nothing when that has fewer
// than three segments).
std::optional<UsbDeviceInfo> recordFromEntry(const platform::DeviceEntry &entry, int interfaceKind);

// The records of every present interface of the class that the kind selects,
// each tied to the installed backend that listed it. Never fails for device
// problems: unreadable devices are left out or carry zero ids and empty
// strings.
DeviceList enumerateDevices(int interfaceKind);

// Copies of the records whose ids match; a negative id matches any.
DeviceList filterDevices(const DeviceList &list, int vendorId, int productId);
