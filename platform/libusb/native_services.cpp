#include "platform/libusb/libusb_backend.h"
#include "platform/platform.h"
#include "platform/posix/system_clock.h"

namespace platform {

// libusb starts on first use, so a process that never touches a device (a
// test on the virtual bus) never starts it.
Services nativeServices()
{
    static SystemClock clock;
    static const std::shared_ptr<LibusbBackend> backend = std::make_shared<LibusbBackend>();
    return {&clock, backend};
}

const char *nativeBackendName() { return "libusb"; }

}  // namespace platform
