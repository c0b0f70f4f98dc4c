#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_backend.h"

namespace platform {

class VirtualBus;
class VirtualDevice;
class WaitTally;

// The pipes of the virtual bus's devices and the requests on them, as a
// device's driver would carry them out: the bytes go to and come from the
// device's peer, in bus time, with the driver's faults that a test or a
// simulated adapter injects.
class VirtualDeviceIo : public DeviceIo {
public:
    explicit VirtualDeviceIo(VirtualBus &bus);
    ~VirtualDeviceIo() override;

    OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) override;
    Handle createRequestSlot() override;
    void close(Handle handle) override;
    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer, std::uint32_t count) override;
    WaitOutcome waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) override;
    void cancelRequest(Handle pipe, Handle slot) override;
    bool resetPipe(Handle pipe) override;
    bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index) override;

private:
    struct Object;
    struct OpenPipe;
    struct Slot;

    Object *find(Handle handle);
    Slot *slotAt(Handle handle);
    // The pipe, while its device is present and has not been replugged since.
    OpenPipe *livePipe(Handle handle);
    // The device of a request of `count` bytes that goes pending, with
    // `slot` made ready for it; null when it cannot go pending: no live pipe
    // of that direction, no slot, or the driver's fault.
    VirtualDevice *pendingRequest(Handle pipe, Handle slotHandle, bool in, std::uint32_t count, Slot *&slot);
    // The bytes cross the bus unless the plug is pulled first.
    bool moveBytes(VirtualDevice &device, std::size_t bytes);
    void completeRead(Slot &slot, VirtualDevice &device, bool replyReady);
    void deliverWrite(Slot &slot, VirtualDevice &device, const std::uint8_t *buffer, std::uint32_t count);
    void noteWork(VirtualDevice &device);
    // Passes time for a waiting request; false, with the request ended in
    // error, when the device went away meanwhile.
    // How a stretch of bus time passed for a waiting request.
    enum class Passed { all, detached, stopped };
    Passed passWhileAttached(Slot &slot, std::int64_t microseconds, WaitTally &tally);

    VirtualBus &bus_;
    std::map<Handle, std::unique_ptr<Object>> objects_;
};

}  // namespace platform
