#include "platform/libusb/device_io.h"
#include "platform/libusb/device_setup.h"
#include "platform/libusb/no_hid_access.h"
#include "platform/libusb/usb_context.h"
#include "platform/platform.h"
#include "platform/posix/system_clock.h"

namespace platform {

// The session starts on first use, so a process that never touches a device
// (a test on the virtual bus) never starts libusb.
Services nativeServices()
{
    static SystemClock clock;
    static UsbContext context;
    static LibusbDeviceSetup deviceSetup(context);
    static LibusbDeviceIo deviceIo(context);
    static NoHidAccess hid;
    return {&clock, &deviceSetup, &deviceIo, &hid};
}

}  // namespace platform
