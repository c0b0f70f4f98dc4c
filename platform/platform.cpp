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

double secondsNow()
{
    Clock &source = clock();
    const std::int64_t frequency = source.counterFrequency();
    if (frequency <= 0)
        return source.tickCount() / 1000.0;
    return static_cast<double>(source.counterValue()) / static_cast<double>(frequency);
}

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
