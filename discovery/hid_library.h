#pragma once

#include "discovery/usb_device_info.h"
#include "platform/platform.h"

// The HID library, loaded by name on first need with twelve functions bound
// one by one. A failed binding is tried again on the next call.
class HidLibraryBinding {
public:
    static constexpr int functionCount = 12;
    static const char *const functionNames[functionCount];

    bool bind();
    bool bound() const { return library_ != platform::invalidHandle; }
    // Replaces the record's strings with those the device reports itself.
    void readDeviceStrings(UsbDeviceInfo &record) const;

private:
    platform::Handle library_ = platform::invalidHandle;
    const platform::HidAccess *boundWith_ = nullptr;
    void *functions_[functionCount] = {};
};

// The process-wide binding.
HidLibraryBinding &hidLibrary();
bool bindHidLibrary();
