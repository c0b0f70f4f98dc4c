#include "platform/libusb/device_watch.h"

#include <libusb.h>

#include "platform/libusb/usb_context.h"

namespace platform {

namespace {

// How long one round of event handling waits at most; the watch's end
// interrupts it anyway.
constexpr long eventRoundMicroseconds = 500'000;

int LIBUSB_CALL hotplugCallback(libusb_context *context, libusb_device *device, libusb_hotplug_event event,
                                void *watch)
{
    return LibusbDeviceWatch::toldOf(context, device, static_cast<int>(event), watch);
}

}  // namespace

std::unique_ptr<DeviceWatch> LibusbDeviceWatch::start(UsbContext &context, std::function<void()> changed)
{
    libusb_context *session = context.get();
    if (!session || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return nullptr;
    std::unique_ptr<LibusbDeviceWatch> watch(new LibusbDeviceWatch(session, std::move(changed)));
    libusb_hotplug_callback_handle handle = 0;
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    if (libusb_hotplug_register_callback(session, static_cast<libusb_hotplug_event>(events),
                                         static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
                                         LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, hotplugCallback,
                                         watch.get(), &handle) != LIBUSB_SUCCESS)
        return nullptr;
    watch->callback_ = handle;
    watch->events_ = std::thread([raw = watch.get()] { raw->handleEvents(); });
    return watch;
}

LibusbDeviceWatch::LibusbDeviceWatch(libusb_context *context, std::function<void()> changed)
    : context_(context), changed_(std::move(changed))
{
}

LibusbDeviceWatch::~LibusbDeviceWatch()
{
    // Once deregistered the callback is not called again, on any thread
    // (libusb calls callbacks and drops them under one lock).
    libusb_hotplug_deregister_callback(context_, callback_);
    ending_ = true;
    libusb_interrupt_event_handler(context_);
    if (events_.joinable())
        events_.join();
}

int LibusbDeviceWatch::toldOf(libusb_context *, libusb_device *, int, void *watch)
{
    static_cast<LibusbDeviceWatch *>(watch)->changed_();
    return 0;  // stays registered
}

void LibusbDeviceWatch::handleEvents()
{
    while (!ending_) {
        timeval round{0, eventRoundMicroseconds};
        libusb_handle_events_timeout_completed(context_, &round, nullptr);
    }
}

}  // namespace platform
