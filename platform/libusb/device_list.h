#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/usb_backend.h"

namespace platform {

class UsbContext;

// The present USB devices as libusb lists them, with their ids, serial
// number, strings and kernel name. Listing does no device I/O: the ids come
// from the descriptors the kernel cached and the strings from sysfs, because
// the poll lists every device once a second and must neither wake nor
// disturb them. The strings of a device are read once and kept while it
// stays attached, so a poll of a busy bus costs next to nothing.
class LibusbDeviceList : public DeviceEnumeration {
public:
    explicit LibusbDeviceList(UsbContext &context) : context_(context) {}

    std::vector<DeviceEntry> listDevices(DeviceClass deviceClass) override;
    // libusb's hotplug notification, where this libusb has it: its events
    // are handled on a thread of the watch's own.
    std::unique_ptr<DeviceWatch> watchDevices(std::function<void()> changed) override;

    // How many times sysfs was read for a device's strings, for tests.
    int stringReads() const { return stringReads_; }

private:
    struct Strings {
        std::string serialNumber;  // empty: none that can serve
        std::optional<std::string> manufacturer;
        std::optional<std::string> product;
    };
    // A device by its kernel name and bus address: the address is new each
    // time a device arrives, so a device plugged into the same port is
    // another key.
    using DeviceKey = std::pair<std::string, int>;

    UsbContext &context_;
    std::mutex mutex_;  // over the strings kept: listings may come from several threads
    std::map<DeviceKey, Strings> strings_;
    std::atomic<int> stringReads_{0};
};

// The serial number a device is known by: the one it reports when it could
// also stand in a Windows instance identifier (printable ASCII without a
// backslash or a comma, at most 77 characters), so that an adapter is told
// apart the same way on both systems; otherwise none.
std::string usableSerialNumber(const std::optional<std::string> &reported);

}  // namespace platform
