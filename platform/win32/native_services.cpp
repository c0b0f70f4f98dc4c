#include "platform/platform.h"
#include "platform/win32/clock.h"
#include "platform/win32/win32_backend.h"

namespace platform {

Services nativeServices()
{
    static Win32Clock clock;
    static const std::shared_ptr<Win32Backend> backend = std::make_shared<Win32Backend>();
    return {&clock, backend};
}

const char *nativeBackendName() { return "Win32"; }

}  // namespace platform
