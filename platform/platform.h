#pragma once

// The services of the platform seam that the process has installed: the
// clock, which is the process's own, and the device backend that new
// enumerations use.

#include <memory>

#include "platform/clock.h"
#include "platform/usb_backend.h"

namespace platform {

struct Services {
    Clock *clock = nullptr;
    std::shared_ptr<UsbBackend> usb;
};

// The native backend of this build and its name ("libusb", "Win32", ...),
// defined by the backend library linked in.
Services nativeServices();
const char *nativeBackendName();

// Installs a set of services; members left empty keep what was installed.
void install(const Services &services);
const Services &installed();

Clock &clock();
// The installed clock's time in seconds, from its high-resolution counter
// where it has one: durations and rates, on the virtual clock too.
double secondsNow();
// The backend that enumeration lists devices through.
const std::shared_ptr<UsbBackend> &usbBackend();

// Installs services for the lifetime of the object and then restores the
// previous ones; tests and the demo use it to stand in for the native backend.
class ScopedServices {
public:
    explicit ScopedServices(const Services &services);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    Services previous_;
};

}  // namespace platform
