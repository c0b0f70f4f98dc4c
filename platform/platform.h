#pragma once

// The platform seam: every operating-system service that the logic above
// needs, in that logic's own terms. A backend translates these calls into its
// own (Win32, libusb, the virtual bus) and nothing more; messages, retries,
// chunk sizes and time-outs live above the seam so that every backend reports
// the same words.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// An opaque handle issued by a backend. Backends choose the values; the logic
// above only compares them with invalidHandle.
using Handle = std::uintptr_t;
inline constexpr Handle invalidHandle = ~Handle{0};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the system started; wraps after 2^32 ms.
    virtual std::uint32_t tickCount() = 0;
    // Counts per second of the high-resolution counter; 0 when there is none.
    virtual std::int64_t counterFrequency() = 0;
    virtual std::int64_t counterValue() = 0;
    // Suspends the thread; may come back early on some systems.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const Guid &, const Guid &) = default;
};

// The generic USB device interface class: every USB device is a member.
inline constexpr Guid usbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

enum class EnumOutcome { found, noMoreItems, failed };
enum class RegistryProperty { manufacturer, description };

// The present device interfaces of one interface class, one member index at a
// time, so that the enumeration loop and its skip rules are written once.
class DeviceSetup {
public:
    virtual ~DeviceSetup() = default;
    // The set of present interfaces of a class; invalidHandle when none is had.
    virtual Handle openInterfaceSet(const Guid &interfaceClass) = 0;
    virtual EnumOutcome enumInterface(Handle set, std::uint32_t index) = 0;
    // The device path of the interface last found by enumInterface(), or
    // nothing when its detail cannot be fetched.
    virtual std::optional<std::string> interfacePath(Handle set, std::uint32_t index) = 0;
    // The device instance identifier (at most 99 characters), if readable.
    virtual std::optional<std::string> instanceId(Handle set, std::uint32_t index) = 0;
    virtual std::optional<std::string> registryProperty(Handle set, std::uint32_t index,
                                                        RegistryProperty property) = 0;
    virtual void closeInterfaceSet(Handle set) = 0;
};

enum class OpenOutcome { opened, busy, accessDenied, failed };

enum class ControlCode : std::uint32_t {
    resetPipe = 0x0022000C,      // input: one byte of value 0
    vendorRequest = 0x00220010,  // input: the 16-byte request block
};

// A device's pipe files and the asynchronous requests on them. A request slot
// is one overlapped record with its own event: at most one request is
// outstanding on a slot at a time.
class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // Opens a pipe file such as "<device path>\PIPE00" for overlapped I/O.
    virtual OpenOutcome openPipe(const std::string &fileName, Handle &pipe) = 0;
    // A request slot, or invalidHandle when its event cannot be created.
    virtual Handle createRequestSlot() = 0;
    // Releases a pipe or a request slot.
    virtual void close(Handle handle) = 0;

    // Issue a request; true when it went pending (it will complete later,
    // possibly at once). False: it did not go pending and nothing is in flight.
    virtual bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) = 0;
    virtual bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                            std::uint32_t count) = 0;
    // Waits for the slot's request to complete; false when the time ran out.
    virtual bool waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) = 0;
    // The bytes moved by the slot's completed request, fetched without
    // waiting; nothing when the result cannot be fetched (still incomplete,
    // failed or cancelled).
    virtual std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) = 0;
    // Cancels the slot's request if it is still outstanding and returns once
    // it has ended, so that it can no longer touch the caller's buffer.
    virtual void cancelRequest(Handle pipe, Handle slot) = 0;

    // A synchronous control request to the pipe driver; false when refused.
    virtual bool deviceControl(Handle pipe, ControlCode code, const std::uint8_t *input,
                               std::uint32_t inputSize) = 0;
};

enum class HidString { manufacturer, product, serialNumber };

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

struct Services {
    Clock *clock = nullptr;
    DeviceSetup *deviceSetup = nullptr;
    DeviceIo *deviceIo = nullptr;
    HidAccess *hid = nullptr;
};

// The native backend of this build, defined by the backend library linked in.
Services nativeServices();

// Installs a set of services; members left null keep what was installed.
void install(const Services &services);
const Services &installed();

Clock &clock();
DeviceSetup &deviceSetup();
DeviceIo &deviceIo();
HidAccess &hid();

// Installs services for the lifetime of the object and then restores the
// previous ones; tests and the demo use it to stand in for the native backend.
class ScopedServices {
public:
    explicit ScopedServices(const Services &services);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    Services previous_;
};

}  // namespace platform
