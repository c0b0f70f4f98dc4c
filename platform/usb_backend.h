#pragma once

// The platform seam for devices: what the logic above needs of the system's
// USB devices, in terms that each backend has natively. A backend translates
// these calls into its own (Win32, libusb, the virtual bus) and nothing more;
// messages, retries, chunk sizes and time-outs live above the seam, once, so
// that every backend reports the same words.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// An opaque handle issued by a backend. Backends choose the values; the logic
// above only compares them with invalidHandle and hands them back.
using Handle = std::uintptr_t;
inline constexpr Handle invalidHandle = ~Handle{0};

// The classes of device interfaces that can be listed.
enum class DeviceClass {
    usbDevice,  // every USB device
    hid,        // human interface devices, with strings of their own
};

// The USB ids and serial number of a device, where a backend reads them as
// such (libusb, the virtual bus).
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialNumber;  // empty: the device has none
};

// One present device interface, as the backend that lists it knows it.
struct DeviceEntry {
    // Where the device is reached: pipes are opened by it, and it names the
    // device's place on the bus.
    std::string devicePath;
    // The ids and serial number, where the backend has them natively.
    std::optional<UsbIdentity> identity;
    // Otherwise the system's device instance identifier (Windows), which the
    // record layer parses; at most 99 characters, empty when unreadable.
    std::string instanceId;
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
};

// A watch on the devices that come and go, for as long as it lives.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;
};

class DeviceEnumeration {
public:
    virtual ~DeviceEnumeration() = default;
    // The present interfaces of the class, in the system's order. Never fails
    // for device problems: what cannot be read is left out.
    virtual std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) = 0;
    // Calls `changed` soon after a USB device arrives or leaves, on whatever
    // thread the system tells it, for as long as the watch lives: `changed`
    // must be quick and safe on any thread, and the listing says what
    // changed. Null where the system tells nothing: whoever waits for
    // devices then lists them now and then.
    virtual std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> /*changed*/) { return nullptr; }
};

enum class OpenOutcome { opened, busy, accessDenied, failed };

// How a wait for a request ended.
enum class WaitOutcome {
    completed,  // the request completed in time
    timedOut,   // the time-out ran out first
    stopped,    // the user asked the program to stop (platform::stopRequest())
};

// A device's two bulk pipes: data from the adapter, and data to it.
enum class Pipe { in, out };

// A device's pipes and the asynchronous requests on them. A request slot is
// one record for a request with its own completion signal: at most one
// request is outstanding on a slot at a time.
class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // Opens one of the device's pipes for asynchronous requests.
    virtual OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) = 0;
    // A request slot, or invalidHandle when its completion signal cannot be made.
    virtual Handle createRequestSlot() = 0;
    // Releases a pipe or a request slot.
    virtual void close(Handle handle) = 0;

    // Issue a request; true when it went pending (it will complete later,
    // possibly at once). False: it did not go pending and nothing is in flight.
    virtual bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) = 0;
    virtual bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                            std::uint32_t count) = 0;
    // Waits for the slot's request to complete, at most the time-out; a stop
    // the user asks for ends the wait at once (platform/request_wait.h
    // waits so). The request is still outstanding unless it completed.
    virtual WaitOutcome waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) = 0;
    // The bytes moved by the slot's completed request, fetched without
    // waiting; nothing when the result cannot be fetched (still incomplete,
    // failed or cancelled).
    virtual std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) = 0;
    // Cancels the slot's request if it is still outstanding and returns once
    // it has ended, so that it can no longer touch the caller's buffer.
    virtual void cancelRequest(Handle pipe, Handle slot) = 0;

    // How the backend names the system call at each step of a request that
    // failed, for messages: the one that did not start it, and the one whose
    // result could not be fetched. The pipe driver's (Windows') by default.
    virtual const char *startCallName() const { return "I/O pending"; }
    virtual const char *resultCallName() const { return "GetOverlappedResult"; }

    // Resets the pipe (clears a stall and the data toggle); false when refused.
    virtual bool resetPipe(Handle pipe) = 0;
    // A vendor control request to the device the pipe belongs to, with no
    // data stage; false when refused.
    virtual bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value,
                               std::uint32_t index) = 0;
};

// The HID library, loaded by name at run time, and the device strings it reads.
class HidAccess {
public:
    virtual ~HidAccess() = default;
    virtual Handle loadLibrary(const char *name) = 0;
    // Null when the library lacks the function.
    virtual void *findFunction(Handle library, const char *name) = 0;
    virtual void freeLibrary(Handle library) = 0;
    // Opens a HID device path for read and write, without sharing or shared.
    virtual Handle openDevice(const std::string &path, bool shared) = 0;
    // Calls one of the library's string functions (bound by findFunction)
    // with a buffer of `bytes` bytes; true when it filled the buffer.
    virtual bool callStringFunction(void *function, Handle device, std::uint16_t *buffer,
                                    std::uint32_t bytes) = 0;
    virtual void closeDevice(Handle device) = 0;
};

// One backend: the devices it lists, the pipes it opens and, where the system
// has one, its HID library. Device records and links keep their backend
// alive and release their handles to it, whatever is installed later.
class UsbBackend {
public:
    virtual ~UsbBackend() = default;
    virtual DeviceEnumeration &enumeration() = 0;
    virtual DeviceIo &io() = 0;
    // Null where the system has no HID library to load.
    virtual HidAccess *hid() { return nullptr; }
};

}  // namespace platform
