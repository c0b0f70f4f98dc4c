#pragma once

#include "platform/libusb/device_io.h"
#include "platform/libusb/device_list.h"
#include "platform/libusb/usb_context.h"
#include "platform/usb_backend.h"

namespace platform {

// The Linux (and other POSIX) backend: USB devices through libusb-1.0, with
// sysfs for the strings the kernel already read. There is no HID library.
class LibusbBackend : public UsbBackend {
public:
    LibusbBackend() = default;
    LibusbBackend(const LibusbBackend &) = delete;
    LibusbBackend &operator=(const LibusbBackend &) = delete;

    LibusbDeviceList &enumeration() override { return list_; }
    LibusbDeviceIo &io() override { return io_; }

private:
    // The session outlives the two parts that use it.
    UsbContext context_;
    LibusbDeviceList list_{context_};
    LibusbDeviceIo io_{context_};
};

}  // namespace platform
