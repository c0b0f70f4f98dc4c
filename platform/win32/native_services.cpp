#include "platform/platform.h"
#include "platform/win32/clock.h"
#include "platform/win32/device_io.h"
#include "platform/win32/device_setup.h"
#include "platform/win32/hid_access.h"

namespace platform {

Services nativeServices()
{
    static Win32Clock clock;
    static Win32DeviceSetup deviceSetup;
    static Win32DeviceIo deviceIo;
    static Win32HidAccess hid;
    return {&clock, &deviceSetup, &deviceIo, &hid};
}

}  // namespace platform
