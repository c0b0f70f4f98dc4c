#pragma once

// One call through a backend's device interfaces as a value, and a backend
// that takes every call as one: the base of the backends that stand in front
// of another (a recorder, the tests' observer) or in place of one (a
// replay), so that the list of calls and their arguments is written once.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_backend.h"

namespace platform {

// The calls of DeviceEnumeration and DeviceIo.
enum class DeviceOperation {
    list,    // DeviceEnumeration::listDevices
    open,    // DeviceIo::openPipe
    slot,    // DeviceIo::createRequestSlot
    close,   // DeviceIo::close
    read,    // DeviceIo::startRead
    write,   // DeviceIo::startWrite
    wait,    // DeviceIo::waitRequest
    result,  // DeviceIo::requestResult
    cancel,  // DeviceIo::cancelRequest
    reset,   // DeviceIo::resetPipe
    vendor,  // DeviceIo::vendorRequest
    // No call of the device: where the program acted on the user's stop
    // between calls (platform::stopToActOn). A recording keeps it so that its
    // replay stops there too; a backend has nothing to do for it.
    stop,
};

// Which members matter depends on the operation; the rest keep their defaults.
struct DeviceCall {
    explicit DeviceCall(DeviceOperation operation_) : operation(operation_) {}

    DeviceOperation operation;

    // What the program asked.
    DeviceClass deviceClass = DeviceClass::usbDevice;  // list
    std::string devicePath;                            // open
    Pipe pipeEnd = Pipe::in;                           // open
    Handle pipe = invalidHandle;                       // read, write, result, cancel, reset, vendor
    Handle slot = invalidHandle;                       // read, write, wait, result, cancel
    std::uint8_t *readBuffer = nullptr;                // read
    const std::uint8_t *writeData = nullptr;           // write
    std::uint32_t size = 0;                            // read, write
    std::uint32_t timeoutMilliseconds = 0;             // wait
    std::uint32_t request = 0, value = 0, index = 0;   // vendor

    // close: the handle closed. open: the caller's handle, which the answer
    // sets when the pipe opened; slot: the slot made, or invalidHandle.
    Handle handle = invalidHandle;

    // What the backend answered.
    std::vector<DeviceEntry> entries;           // list
    OpenOutcome outcome = OpenOutcome::failed;  // open
    bool ok = false;                            // read, write: went pending; reset, vendor: done
    WaitOutcome waited = WaitOutcome::timedOut;  // wait
    std::optional<std::uint32_t> bytes;         // result: nothing when not fetchable
};

// Makes the call on `backend`, filling in its answer.
void perform(DeviceCall &call, UsbBackend &backend);

// Which of a program's works at once the calling thread's device calls
// belong to: 0 for the program's own thread, 1, 2, ... for each adapter it
// works on in a thread of its own, numbered as the program takes them up.
// A recording keeps each call's lane, and a replay answers each lane from
// its own calls, however the threads took turns.
unsigned callLane();
// Makes `lane` the calling thread's for as long as it lives.
class ScopedCallLane {
public:
    explicit ScopedCallLane(unsigned lane);
    ~ScopedCallLane();
    ScopedCallLane(const ScopedCallLane &) = delete;
    ScopedCallLane &operator=(const ScopedCallLane &) = delete;

private:
    unsigned previous_;
};

// A backend whose every device call becomes a DeviceCall for answer(). It
// offers no HID library unless a subclass does.
class DeviceCallBackend : public UsbBackend, public DeviceEnumeration, public DeviceIo {
public:
    DeviceEnumeration &enumeration() final { return *this; }
    DeviceIo &io() final { return *this; }

    std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) final;
    OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) final;
    Handle createRequestSlot() final;
    void close(Handle handle) final;
    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) final;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer, std::uint32_t count) final;
    WaitOutcome waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) final;
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) final;
    void cancelRequest(Handle pipe, Handle slot) final;
    bool resetPipe(Handle pipe) final;
    bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index) final;

    // The names of the backend it stands in front of, when it does.
    const char *startCallName() const override;
    const char *resultCallName() const override;

protected:
    // Fills in the call's answer.
    virtual void answer(DeviceCall &call) = 0;
    // The backend whose calls a message names: the one this one stands in
    // front of; none for one that stands in place of a backend.
    void nameCallsAs(DeviceIo *io) { named_ = io; }

private:
    DeviceIo *named_ = nullptr;
};

}  // namespace platform
