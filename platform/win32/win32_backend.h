#pragma once

#include "platform/usb_backend.h"
#include "platform/win32/device_io.h"
#include "platform/win32/device_setup.h"
#include "platform/win32/hid_access.h"

namespace platform {

// The Windows backend: SetupAPI, the adapter driver's pipe files and
// control codes, and hid.dll.
class Win32Backend : public UsbBackend {
public:
    Win32DeviceSetup &enumeration() override { return setup_; }
    Win32DeviceIo &io() override { return io_; }
    Win32HidAccess *hid() override { return &hid_; }

private:
    Win32DeviceSetup setup_;
    Win32DeviceIo io_;
    Win32HidAccess hid_;
};

}  // namespace platform
