#pragma once

#include <memory>

#include "discovery/usb_device_info.h"
#include "platform/platform.h"

// The HID library, loaded by name on first need with twelve functions bound
// one by one. A failed binding is tried again on the next call.
class HidLibraryBinding {
public:
    static constexpr int functionCount = 12;
    static const char *const functionNames[functionCount];

    // Binds the HID library of `backend`. A binding belongs to the backend
    // that made it: another backend (a test's virtual one) binds afresh.
    bool bind(const std::shared_ptr<platform::UsbBackend> &backend);
    // Binds the HID library of the installed backend.
    bool bind() { return bind(platform::usbBackend()); }
    bool bound() const { return library_ != platform::invalidHandle; }
    // Replaces the record's strings with those the device reports itself,
    // through the HID library of the backend that listed the record.
    void readDeviceStrings(UsbDeviceInfo &record) const;

private:
    platform::Handle library_ = platform::invalidHandle;
    std::weak_ptr<platform::UsbBackend> boundWith_;
    void *functions_[functionCount] = {};
};

// The process-wide binding, and binding it to the installed backend.
HidLibraryBinding &hidLibrary();
bool bindHidLibrary();
