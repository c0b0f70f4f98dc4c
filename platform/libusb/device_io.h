#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/usb_backend.h"

struct libusb_device_handle;
struct libusb_transfer;

namespace platform {

class UsbContext;

// A device's two pipes over libusb: the IN pipe is the first bulk IN endpoint
// of the adapter's interface, the OUT pipe its first bulk OUT endpoint.
// Requests are asynchronous bulk transfers, completed by running libusb's
// event handling on the calling thread while it waits. Several threads may
// work at once, each on its own pipes and slots.
class LibusbDeviceIo : public DeviceIo {
public:
    explicit LibusbDeviceIo(UsbContext &context) : context_(context) {}
    ~LibusbDeviceIo() override;
    LibusbDeviceIo(const LibusbDeviceIo &) = delete;
    LibusbDeviceIo &operator=(const LibusbDeviceIo &) = delete;

    OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) override;
    Handle createRequestSlot() override;
    void close(Handle handle) override;

    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                    std::uint32_t count) override;
    WaitOutcome waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) override;
    const char *startCallName() const override { return "libusb_submit_transfer"; }
    const char *resultCallName() const override { return "libusb transfer"; }
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) override;
    void cancelRequest(Handle pipe, Handle slot) override;

    bool resetPipe(Handle pipe) override;
    bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index) override;

private:
    // One open of a device with its interface claimed, shared by the two
    // pipes that one link opens. A pipe that is already open counts as busy,
    // as the interface claim of another program would.
    struct Claim {
        std::string kernelName;
        libusb_device_handle *handle = nullptr;
        int interfaceNumber = 0;
        std::uint8_t endpoints[2] = {};  // IN, OUT
        bool pipeOpen[2] = {};
    };
    struct OpenPipe {
        std::shared_ptr<Claim> claim;
        int index;  // 0: IN, 1: OUT
    };
    struct Slot {
        libusb_transfer *transfer = nullptr;
        Handle pipe = invalidHandle;
        bool submitted = false;
        // Set by the transfer's callback, on whichever thread handles
        // libusb's events: read and written atomically.
        int completed = 0;
    };

    OpenOutcome claimDevice(const std::string &kernelName, std::shared_ptr<Claim> &claim);
    void releaseClaim(std::shared_ptr<Claim> claim);
    bool submit(Handle pipe, Handle slot, int pipeIndex, std::uint8_t *buffer,
                std::uint32_t count);
    void finish(Slot &slot);
    OpenPipe *findPipe(Handle pipe);
    Slot *findSlot(Handle slot);

    UsbContext &context_;
    // Over the tables below, never held while libusb's events are handled.
    std::mutex mutex_;
    std::map<Handle, OpenPipe> pipes_;
    std::map<Handle, std::unique_ptr<Slot>> slots_;
    std::multimap<std::string, std::shared_ptr<Claim>> claims_;
    Handle nextHandle_ = 1;
};

}  // namespace platform
