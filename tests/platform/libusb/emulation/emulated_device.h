#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "simulation/ftdi_chip.h"
#include "simulation/simulated_loader.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

// What answers behind an emulated device's bulk endpoints and control pipe.
// Called on umockdev's thread with the device's lock held.
class EndpointPeer {
public:
    virtual ~EndpointPeer() = default;
    virtual void receive(const std::uint8_t *data, std::size_t size) = 0;
    // Fills one bulk IN transfer; 0 when there is nothing to send yet, so
    // that the transfer waits (the device answers NAK).
    virtual std::size_t send(std::uint8_t *out, std::size_t capacity) = 0;
    virtual bool vendorRequest(int, int, int) { return false; }
};

// An adapter with its own USB interface: the boot loader's bytes as they are.
class LoaderPeer : public EndpointPeer {
public:
    explicit LoaderPeer(simulation::SimulatedLoader &loader) : loader_(loader) {}
    void receive(const std::uint8_t *data, std::size_t size) override { loader_.receive(data, size); }
    std::size_t send(std::uint8_t *out, std::size_t capacity) override
    {
        return loader_.take(out, capacity);
    }

private:
    simulation::SimulatedLoader &loader_;
};

// An adapter behind an FTDI bridge chip, which always has at least a status
// packet to send and answers the chip's vendor requests.
class FtdiPeer : public EndpointPeer {
public:
    explicit FtdiPeer(simulation::FtdiChip &chip) : chip_(chip) {}
    void receive(const std::uint8_t *data, std::size_t size) override { chip_.write(data, size); }
    std::size_t send(std::uint8_t *out, std::size_t capacity) override
    {
        return chip_.readPackets(out, capacity);
    }
    bool vendorRequest(int request, int value, int index) override
    {
        return chip_.vendorRequest(request, value, index);
    }

private:
    simulation::FtdiChip &chip_;
};

// One USB device in a umockdev testbed, as the kernel's USB file system
// would show it to libusb: its sysfs folder with descriptors and string
// attributes, and its device node, whose ioctls (claims, URBs, halt clears)
// are answered here on umockdev's thread.
class EmulatedDevice {
public:
    struct Description {
        std::string kernelName = "1-1";  // the sysfs name, bus and ports
        int address = 2;
        std::uint16_t vendorId = 0x131B;
        std::uint16_t productId = 0x0010;
        std::optional<std::string> serial;
        std::optional<std::string> manufacturer;
        std::optional<std::string> product;
        bool bulkInterface = true;  // false: a hub, with no bulk endpoints
    };
    // A device at another place on the bus, otherwise the defaults.
    static Description at(std::string kernelName, int address)
    {
        Description description;
        description.kernelName = std::move(kernelName);
        description.address = address;
        return description;
    }

    EmulatedDevice(UMockdevTestbed *testbed, const std::string &rootDirectory,
                   const Description &description);
    ~EmulatedDevice();
    EmulatedDevice(const EmulatedDevice &) = delete;
    EmulatedDevice &operator=(const EmulatedDevice &) = delete;

    // Connects the endpoints to a peer; null leaves them silent.
    void connect(EndpointPeer *peer);
    // Runs f with the device's state (and its peer) locked against
    // umockdev's thread.
    template <typename F>
    auto locked(F f)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }

    // Another program holds the interface: claims fail with EBUSY.
    void setClaimedElsewhere(bool claimed);
    // The device node refuses to open without the right permission.
    void denyAccess();
    // The device is pulled out when the next bulk IN transfer arrives: that
    // transfer ends with the device gone, and so does everything after it.
    void unplugAtNextRead();
    // Pulled out now: also its sysfs folder and node disappear.
    void unplug();
    // Control requests are taken and never answered, as by a chip that has
    // hung: each waits until the host gives up and discards it.
    void leaveControlRequestsUnanswered();

    // Every request that reached the device node: opening it makes the
    // first.
    int ioctls();
    int claims();
    int outstandingTransfers();
    int discardedTransfers();
    // Control requests that were discarded unanswered.
    int discardedControlRequests();
    std::deque<std::uint8_t> clearedHalts();

    const std::string &nodePath() const { return nodePath_; }
    const std::string &sysPath() const { return sysPath_; }

private:
    struct Urb {
        UMockdevIoctlData *urb;
        UMockdevIoctlData *buffer;  // null for a transfer of no bytes
        int status = 0;
        int actualLength = 0;
    };

    static int handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self);
    bool handle(UMockdevIoctlClient *client);
    void submit(UMockdevIoctlClient *client);
    void reap(UMockdevIoctlClient *client);
    void discard(UMockdevIoctlClient *client);
    void goneNow();
    static void release(Urb &urb);

    UMockdevTestbed *testbed_;
    UMockdevIoctlBase *handler_ = nullptr;
    std::string devNode_;   // /dev/bus/usb/BBB/DDD as the client sees it
    std::string nodePath_;  // the file below the testbed's root
    std::string sysPath_;

    std::mutex mutex_;
    EndpointPeer *peer_ = nullptr;
    bool claimedElsewhere_ = false;
    bool unplugArmed_ = false;
    bool controlUnanswered_ = false;
    bool gone_ = false;
    bool removed_ = false;
    int ioctls_ = 0;
    int claims_ = 0;
    int discarded_ = 0;
    int discardedControl_ = 0;
    std::deque<Urb> waitingIn_;  // bulk IN transfers the device has not answered
    std::deque<Urb> waitingControl_;  // control requests it will never answer
    std::deque<Urb> finished_;   // transfers ready to be reaped
    std::deque<std::uint8_t> clearedHalts_;
};
