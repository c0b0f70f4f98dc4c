#include "platform/platform.h"
#include "platform/posix/system_clock.h"

namespace platform {

// A build without a device backend: time only. A device backend must be
// installed (the virtual bus) before anything enumerates or opens a device.
Services nativeServices()
{
    static SystemClock clock;
    return {&clock, nullptr};
}

const char *nativeBackendName() { return "virtual-only"; }

}  // namespace platform
