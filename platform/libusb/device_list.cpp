#include "platform/libusb/device_list.h"

#include <libusb.h>

#include "platform/libusb/device_names.h"
#include "platform/libusb/device_watch.h"
#include "platform/libusb/sysfs_strings.h"
#include "platform/libusb/usb_context.h"

namespace platform {

namespace {

// What is left of a 99-character instance identifier after
// "USB\VID_xxxx&PID_xxxx\".
constexpr std::size_t maxSerialLength = 77;

}  // namespace

std::string usableSerialNumber(const std::optional<std::string> &reported)
{
    if (!reported || reported->size() > maxSerialLength)
        return {};
    for (const char c : *reported) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code > 0x7E || c == ',' || c == '\\')
            return {};
    }
    return *reported;
}

std::vector<DeviceEntry> LibusbDeviceList::listDevices(DeviceClass deviceClass)
{
    std::vector<DeviceEntry> entries;
    libusb_context *context = context_.get();
    // There is no HID class of its own here: HID devices are USB devices.
    if (deviceClass != DeviceClass::usbDevice || !context)
        return entries;
    libusb_device **devices = nullptr;
    const ssize_t count = libusb_get_device_list(context, &devices);
    if (count < 0)
        return entries;
    const std::lock_guard<std::mutex> guard(mutex_);
    std::map<DeviceKey, Strings> present;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        // Served from the descriptors the kernel read at arrival.
        if (libusb_get_device_descriptor(devices[i], &descriptor) != LIBUSB_SUCCESS)
            continue;
        const std::string name = kernelName(devices[i]);
        DeviceKey key{name, libusb_get_device_address(devices[i])};
        auto known = strings_.find(key);
        Strings strings;
        if (known != strings_.end()) {
            strings = std::move(known->second);
        } else {
            ++stringReads_;
            strings = {usableSerialNumber(sysfsString(name, "serial")), sysfsString(name, "manufacturer"),
                       sysfsString(name, "product")};
        }
        entries.push_back({devicePathFor(name), UsbIdentity{descriptor.idVendor, descriptor.idProduct,
                                                            strings.serialNumber},
                           {}, strings.manufacturer, strings.product});
        present.emplace(std::move(key), std::move(strings));
    }
    libusb_free_device_list(devices, 1);
    // Devices that have gone are forgotten.
    strings_ = std::move(present);
    return entries;
}

std::unique_ptr<DeviceWatch> LibusbDeviceList::watchDevices(std::function<void()> changed)
{
    return LibusbDeviceWatch::start(context_, std::move(changed));
}

}  // namespace platform
