#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/usb_backend.h"
#include "platform/virtual/device_time.h"
#include "platform/virtual/virtual_device.h"
#include "platform/virtual/virtual_device_io.h"
#include "platform/virtual/virtual_enumeration.h"
#include "platform/virtual/virtual_hid.h"
#include "platform/virtual/virtual_interface.h"

namespace platform {

// Time a transfer takes on the wire, for a realistic demo or a benchmark.
struct BusTiming {
    std::int64_t transferMicroseconds = 0;  // per completed request
    std::int64_t bytesPerSecond = 0;        // 0: no bandwidth limit
};

// An in-process USB bus: a backend of the platform seam for tests, the demo
// and the command-line twin's simulated adapters. It holds the devices
// plugged into it and the bus's time, which goes by on the given clock; its
// parts answer the seam's interfaces. Records and links share its
// ownership, so it lives as long as any of them.
class VirtualBus : public UsbBackend, public std::enable_shared_from_this<VirtualBus> {
public:
    static std::shared_ptr<VirtualBus> create(Clock &clock);
    VirtualBus(const VirtualBus &) = delete;
    VirtualBus &operator=(const VirtualBus &) = delete;

    // The services to install: this bus and its clock.
    Services services();

    // A device plugged in, with what answers behind its pipes.
    VirtualDevice &attach(VirtualDeviceDescription description, std::unique_ptr<EndpointPeer> peer);
    // Pulled out, and plugged in again.
    void detach(VirtualDevice &device);
    void reattach(VirtualDevice &device);
    // Pulled out now and back after `microseconds` of device time, as a
    // device that reboots comes back.
    void replugAfter(VirtualDevice &device, std::int64_t microseconds);
    // The devices in the order they were attached, present or not.
    const std::vector<std::unique_ptr<VirtualDevice>> &devices() const { return devices_; }
    // The present device at that path, or null.
    VirtualDevice *deviceAt(const std::string &devicePath);

    void addInterface(VirtualInterface interface) { interfaces_.push_back(std::move(interface)); }
    const std::vector<VirtualInterface> &interfaces() const { return interfaces_; }

    Clock &clock() { return clock_; }
    // The devices' time: the clock's, as far as the timing model has got.
    std::int64_t nowMicroseconds() { return time_.nowMicroseconds(); }
    // Lets device time go by.
    void pass(std::int64_t microseconds) { time_.pass(microseconds); }
    void setTiming(const BusTiming &timing) { timing_ = timing; }
    // Lets the time go by that a transfer of `bytes` takes on the wire.
    void spend(std::size_t bytes);

    // A handle of its own for each pipe, request slot and HID device.
    Handle issueHandle() { return nextHandle_++; }

    // The HID library, whose availability a test sets.
    VirtualHid &hidLibrary() { return hid_; }

    // UsbBackend
    DeviceEnumeration &enumeration() override { return enumeration_; }
    DeviceIo &io() override { return io_; }
    HidAccess *hid() override { return &hid_; }

private:
    explicit VirtualBus(Clock &clock);

    Clock &clock_;
    DeviceTime time_;
    BusTiming timing_;
    std::vector<std::unique_ptr<VirtualDevice>> devices_;
    std::vector<VirtualInterface> interfaces_;
    Handle nextHandle_ = 0x100;
    VirtualEnumeration enumeration_{*this};
    VirtualDeviceIo io_{*this};
    VirtualHid hid_{*this};
};

}  // namespace platform
