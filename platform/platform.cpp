#include "platform/platform.h"

#include <cstdlib>
#include <cstdio>

namespace platform {

namespace {

Services &current()
{
    static Services services = nativeServices();
    return services;
}

template <typename T>
T &require(T *service, const char *name)
{
    if (!service) {
        // A build without that service must never reach it: nothing can go on.
        std::fprintf(stderr, "no platform service installed: %s\n", name);
        std::abort();
    }
    return *service;
}

}  // namespace

void install(const Services &services)
{
    Services &target = current();
    if (services.clock) target.clock = services.clock;
    if (services.deviceSetup) target.deviceSetup = services.deviceSetup;
    if (services.deviceIo) target.deviceIo = services.deviceIo;
    if (services.hid) target.hid = services.hid;
}

const Services &installed() { return current(); }

Clock &clock() { return require(current().clock, "clock"); }
DeviceSetup &deviceSetup() { return require(current().deviceSetup, "device setup"); }
DeviceIo &deviceIo() { return require(current().deviceIo, "device I/O"); }
HidAccess &hid() { return require(current().hid, "HID access"); }

ScopedServices::ScopedServices(const Services &services) : previous_(current())
{
    install(services);
}

ScopedServices::~ScopedServices() { current() = previous_; }

}  // namespace platform
