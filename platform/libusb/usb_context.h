#pragma once

#include <mutex>

struct libusb_context;

namespace platform {

// The process's libusb session, started on first need. Starting it can fail
// where the system has no USB file system (a container, a sandbox); the
// enumeration poll then simply finds nothing and tries again next time.
class UsbContext {
public:
    UsbContext() = default;
    ~UsbContext();
    UsbContext(const UsbContext &) = delete;
    UsbContext &operator=(const UsbContext &) = delete;

    // The session, or null while libusb cannot start. From any thread.
    libusb_context *get();

private:
    std::mutex mutex_;
    libusb_context *context_ = nullptr;
};

}  // namespace platform
