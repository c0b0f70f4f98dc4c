#pragma once

// What the process knows of an adapter's IN pipe from one link to the next:
// whether a reply the adapter owes could still be on its way. A new link's
// purge waits for such a reply; with nothing owed it only takes what is
// already there.

#include <memory>
#include <optional>
#include <string>

#include "discovery/usb_device_info.h"
#include "platform/usb_backend.h"

// A device as the backend that reaches it, and its path there. The backend
// is held weakly, and so never mistaken for a later one in its place.
struct OwingDevice {
    std::weak_ptr<platform::UsbBackend> backend;
    std::string devicePath;

    bool operator<(const OwingDevice &other) const;
};

// The device a record names, through the backend its links go through.
OwingDevice owingDevice(const UsbDeviceInfo &device);

// A link to the device ends: it leaves a reply owed, or none.
void noteOwedReplies(const OwingDevice &device, bool owed);
// The adapter went away and came back (it rebooted): whatever it owed is
// gone with it.
void forgetOwedReplies(const OwingDevice &device);
// What the last link left, once, for the next one; nothing when no link of
// this process has been to the device.
std::optional<bool> takeOwedReplies(const OwingDevice &device);
