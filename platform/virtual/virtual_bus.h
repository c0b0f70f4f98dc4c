#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/usb_backend.h"
#include "platform/virtual/ftdi_chip.h"
#include "platform/virtual/device_time.h"
#include "platform/virtual/simulated_loader.h"

namespace platform {

// What an adapter on the virtual bus is made of.
struct AdapterConfig {
    std::uint16_t vendorId = 0x131B;
    std::uint16_t productId = 0x0010;
    std::string serialNumber = "VT0000001";
    std::string manufacturer = "Vantrel";
    std::string description = "Vantrel JTAG adapter";
    // When left empty, a place on the bus of its own: "virtual:1-<n>" for
    // the n-th adapter attached.
    std::string devicePath;
    // Behind an FTDI bridge chip, rather than with a USB interface of its own.
    bool ftdi = false;
    std::uint32_t flashBase = 0x0;
    std::uint32_t flashSize = 0x80000;
    std::uint32_t imageAddress = 0x2000;
};

// Time a transfer takes on the wire, for a realistic demo or a benchmark.
struct BusTiming {
    std::int64_t transferMicroseconds = 0;  // per completed request
    std::int64_t bytesPerSecond = 0;        // 0: no bandwidth limit
};

// Faults injected into a device's requests: each counter fails that many of
// the next requests of its kind.
struct RequestFaults {
    int readNotPending = 0;
    int readNotFetchable = 0;
    int writeNotPending = 0;
    int writeNotFetchable = 0;
    bool writesStall = false;     // writes never complete
    bool resetRefused = false;    // the pipe driver refuses the reset-pipe code
    std::uint32_t maxCompletion = 0;  // a request moves at most this much; 0: no cap
    // A slow device: a request cannot complete sooner than this many
    // milliseconds after it was issued (with maxCompletion, a trickle).
    std::uint32_t readDelay = 0;
    std::uint32_t writeDelay = 0;
    // The device stops taking data once this many more bytes have gone: the
    // rest of a write, and every write after it, never completes.
    std::optional<std::uint64_t> writeBytesUntilStall;
};

class VirtualBus;

// One simulated adapter: its boot loader and flash, the FTDI chip where it has
// one, and what its USB driver does.
class VirtualAdapter {
public:
    SimulatedLoader &loader() { return *loader_; }
    FtdiChip *chip() { return chip_.get(); }
    const AdapterConfig &config() const { return config_; }
    bool isFtdi() const { return chip_ != nullptr; }
    bool present() const;

    // The driver reports the device busy at open (another program holds it).
    void setBusy(bool busy) { busy_ = busy; }
    // Pulls the plug once this many more bytes have crossed the bus.
    void unplugAfterBytes(std::uint64_t bytes) { unplugBudget_ = bytes; }
    RequestFaults &faults() { return faults_; }
    // A pipe that cannot be opened for a reason other than "busy".
    void failPipeOpen(Pipe pipe) { failingPipes_.insert(pipe); }
    // While flash holds a valid image the adapter runs it, and the firmware
    // reboots into the boot loader on a connect: it drops off the bus without
    // answering and comes back after `absentMilliseconds`, once.
    void setReenumerateOnConnect(std::uint32_t absentMilliseconds);
    int reenumerations() const { return reenumerations_; }

private:
    friend class VirtualBus;
    VirtualAdapter(VirtualBus &bus, AdapterConfig config);

    VirtualBus &bus_;
    AdapterConfig config_;
    std::unique_ptr<SimulatedLoader> loader_;
    std::unique_ptr<FtdiChip> chip_;
    bool attached_ = true;
    std::int64_t absentUntil_ = 0;  // bus time, in microseconds
    std::int64_t loaderBusyUntil_ = 0;  // bus time when the loader's replies are ready
    int generation_ = 0;            // pipes opened before a replug are dead
    bool inPipeOpen_ = false;
    bool outPipeOpen_ = false;
    bool busy_ = false;
    std::optional<std::uint64_t> unplugBudget_;
    RequestFaults faults_;
    std::set<Pipe> failingPipes_;
    std::uint32_t reenumerateAbsence_ = 0;
    bool runningFirmware_ = false;
    int reenumerations_ = 0;
};

// A device interface made up by hand, listed as a system that knows devices
// only by their instance identifiers (Windows) lists them: for tests of the
// record layer's rules and of the HID strings.
struct VirtualInterface {
    DeviceClass deviceClass = DeviceClass::usbDevice;
    std::string instanceId;
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
    std::string devicePath;
    // What the HID library reads from the device; nothing: the call fails.
    std::optional<std::u16string> hidManufacturer;
    std::optional<std::u16string> hidProduct;
    std::optional<std::u16string> hidSerialNumber;
    bool hidOpenFails = false;        // without sharing
    bool hidSharedOpenFails = false;  // with sharing
};

// An in-process USB bus with simulated adapters: a backend of the platform
// seam, for tests and the demo. Time goes by on the given clock. Records and
// links share its ownership, so it lives as long as any of them.
class VirtualBus : public UsbBackend,
                   public DeviceEnumeration,
                   public DeviceIo,
                   public HidAccess,
                   public std::enable_shared_from_this<VirtualBus> {
public:
    static std::shared_ptr<VirtualBus> create(Clock &clock);
    ~VirtualBus() override;
    VirtualBus(const VirtualBus &) = delete;
    VirtualBus &operator=(const VirtualBus &) = delete;

    // The services to install: this bus and its clock.
    Services services();

    VirtualAdapter &attach(AdapterConfig config);
    void detach(VirtualAdapter &adapter);
    void reattach(VirtualAdapter &adapter);
    void addInterface(VirtualInterface interface) { interfaces_.push_back(std::move(interface)); }
    void setTiming(const BusTiming &timing) { timing_ = timing; }

    // The HID library: available or not, and names it lacks.
    void setHidLibraryAvailable(bool available) { hidLibraryAvailable_ = available; }
    void removeHidFunction(const std::string &name) { missingHidFunctions_.insert(name); }
    int hidLibraryLoads() const { return hidLoads_; }
    int hidLibraryFrees() const { return hidFrees_; }
    const std::vector<bool> &hidOpenAttempts() const { return hidOpenAttempts_; }  // shared flag of each
    const std::vector<std::uint32_t> &hidStringCallSizes() const { return hidCallSizes_; }

    // The k-th request slot created from now on (1-based) cannot get its event.
    void failRequestSlot(int k) { slotFailuresAt_.insert(slotsCreated_ + k); }

    // Handles open right now (pipes, request slots, HID devices).
    int openHandleCount() const { return static_cast<int>(objects_.size()); }
    // Requests issued and not yet completed or cancelled.
    int outstandingRequests() const;
    int cancellations() const { return cancellations_; }
    // The size of every read (true) and write (false) request issued, in order.
    const std::vector<std::pair<bool, std::uint32_t>> &requestLog() const { return requestLog_; }
    void clearRequestLog() { requestLog_.clear(); }
    // How many times the devices were listed.
    int listings() const { return listings_; }
    // Successful opens of an adapter's IN pipe: one per link made.
    int linksOpened() const { return linksOpened_; }

    // UsbBackend
    DeviceEnumeration &enumeration() override { return *this; }
    DeviceIo &io() override { return *this; }
    HidAccess *hid() override { return this; }

    // DeviceEnumeration
    std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) override;

    // DeviceIo
    OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) override;
    Handle createRequestSlot() override;
    void close(Handle handle) override;
    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer, std::uint32_t count) override;
    bool waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) override;
    void cancelRequest(Handle pipe, Handle slot) override;
    bool resetPipe(Handle pipe) override;
    bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index) override;

    // HidAccess
    Handle loadLibrary(const char *name) override;
    void *findFunction(Handle library, const char *name) override;
    void freeLibrary(Handle library) override;
    Handle openDevice(const std::string &path, bool shared) override;
    bool callStringFunction(void *function, Handle device, std::uint16_t *buffer,
                            std::uint32_t bytes) override;
    void closeDevice(Handle device) override;

    Clock &clock() { return clock_; }
    // The devices' time: the clock's, as far as the timing model has got.
    std::int64_t nowMicroseconds();

    struct Object;

private:
    friend class VirtualAdapter;
    explicit VirtualBus(Clock &clock);

    struct HidDevice;
    struct OpenPipe;
    struct Slot;

    Object *find(Handle handle);
    Handle add(std::unique_ptr<Object> object);
    OpenPipe *livePipe(Handle handle);
    VirtualAdapter *adapterAt(const std::string &devicePath);
    bool moveBytes(VirtualAdapter &adapter, std::size_t bytes);
    void unplug(VirtualAdapter &adapter);
    void completeRead(Slot &slot, VirtualAdapter &adapter, bool payloadReady);
    void deliverWrite(Slot &slot, VirtualAdapter &adapter, const std::uint8_t *buffer, std::uint32_t count);
    void noteLoaderWork(VirtualAdapter &adapter);
    // Passes time for a waiting request; false, with the request ended in
    // error, when the device went away meanwhile.
    bool passWhileAttached(Slot &slot, std::int64_t microseconds);
    void spend(std::size_t bytes);
    bool onLoaderCommand(VirtualAdapter &adapter, std::uint8_t command);

    Clock &clock_;
    DeviceTime time_;
    std::vector<std::unique_ptr<VirtualAdapter>> adapters_;
    std::vector<VirtualInterface> interfaces_;
    std::map<Handle, std::unique_ptr<Object>> objects_;
    Handle nextHandle_ = 0x100;
    BusTiming timing_;
    int slotsCreated_ = 0;
    std::set<int> slotFailuresAt_;
    int cancellations_ = 0;
    std::vector<std::pair<bool, std::uint32_t>> requestLog_;
    int listings_ = 0;
    int linksOpened_ = 0;
    bool hidLibraryAvailable_ = true;
    std::set<std::string> missingHidFunctions_;
    int hidLoads_ = 0;
    int hidFrees_ = 0;
    std::vector<bool> hidOpenAttempts_;
    std::vector<std::uint32_t> hidCallSizes_;
};

}  // namespace platform
