#pragma once

#include <optional>
#include <vector>

#include "discovery/device_interface_entry.h"
#include "discovery/usb_device_info.h"
#include "platform/platform.h"

// Interface kinds that select a device interface class.
inline constexpr int hidInterfaceKind = 3;

// The interface class that `interfaceKind` selects: the HID class for 3, the
// generic USB device class for anything else (the poll passes 0).
const platform::Guid &interfaceClassFor(int interfaceKind);

// The present interfaces of one class, in enumeration order; at most 127.
std::vector<DeviceInterfaceEntry> listInterfaces(const platform::Guid &interfaceClass);

// Parses one entry into a record; nothing when its instance identifier has
// fewer than three segments.
std::optional<UsbDeviceInfo> recordFromEntry(const DeviceInterfaceEntry &entry, int interfaceKind);

// The records of every present interface of the class that the kind selects.
// Never fails for device problems: unreadable devices are left out or carry
// zero ids and empty strings.
DeviceList enumerateDevices(int interfaceKind);

// Copies of the records whose ids match; a negative id matches any.
DeviceList filterDevices(const DeviceList &list, int vendorId, int productId);
