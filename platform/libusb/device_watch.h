#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/usb_backend.h"

struct libusb_context;
struct libusb_device;

namespace platform {

class UsbContext;

// libusb's hotplug callbacks, which tell of every USB device that arrives
// or leaves. libusb calls them while some thread handles its events, so the
// watch keeps a thread of its own at it: a station waiting for adapters
// handles none.
class LibusbDeviceWatch : public DeviceWatch {
public:
    // Null where libusb cannot start, has no hotplug on this system, or
    // refuses the callback.
    static std::unique_ptr<DeviceWatch> start(UsbContext &context, std::function<void()> changed);
    ~LibusbDeviceWatch() override;
    LibusbDeviceWatch(const LibusbDeviceWatch &) = delete;
    LibusbDeviceWatch &operator=(const LibusbDeviceWatch &) = delete;

private:
public:
    // libusb's callback: tells whoever watches.
    static int toldOf(libusb_context *context, libusb_device *device, int event, void *watch);

private:
    LibusbDeviceWatch(libusb_context *context, std::function<void()> changed);
    void handleEvents();

    libusb_context *context_;
    std::function<void()> changed_;
    int callback_ = 0;  // libusb's handle of the callback
    std::atomic<bool> ending_{false};
    std::thread events_;
};

}  // namespace platform
