#include "platform/platform.h"
#include "platform/posix/system_clock.h"

namespace platform {

// A build without a device backend: time only. Device services must be
// installed (the virtual bus) before anything enumerates or opens a device.
Services nativeServices()
{
    static SystemClock clock;
    Services services;
    services.clock = &clock;
    return services;
}

}  // namespace platform
