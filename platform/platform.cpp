#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

Services &current()
{
    static Services services = nativeServices();
    return services;
}

template <typename Service>
Service &require(Service *service, const char *name)
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
    if (services.clock)
        target.clock = services.clock;
    if (services.usb)
        target.usb = services.usb;
}

const Services &installed() { return current(); }

Clock &clock() { return require(current().clock, "clock"); }

const std::shared_ptr<UsbBackend> &usbBackend()
{
    require(current().usb.get(), "USB devices");
    return current().usb;
}

ScopedServices::ScopedServices(const Services &services) : previous_(current())
{
    install(services);
}

ScopedServices::~ScopedServices() { current() = previous_; }

}  // namespace platform
