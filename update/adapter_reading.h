#pragma once

#include <optional>
#include <string>
#include <vector>

#include "datalink/hexception.h"
#include "discovery/usb_device_info.h"

struct FirmwareImage;

// A failure as a value: its kind, and the message people read.
struct Failure {
    ErrorKind kind;
    std::string message;
};

inline Failure failureOf(const HException &exception) { return {exception.kind(), exception.message()}; }

// What the boot loader reports as installed, read as the window's panel
// reads it: a fresh link, no connect. Throws HException.
std::optional<std::string> readInstalledVersion(const UsbDeviceInfo &device);

// One attached adapter as a listing shows it.
struct AdapterView {
    UsbDeviceInfo device;
    const FirmwareImage *entry = nullptr;  // null: the updater carries nothing for it
    std::optional<std::string> installed;
    std::optional<Failure> failure;  // the loader information could not be read
};

// Reads the installed version of a supported adapter; never throws for a
// device failure: the view says.
AdapterView viewOf(const UsbDeviceInfo &device);
std::vector<AdapterView> viewsOf(const DeviceList &devices);
