#pragma once

#include <optional>
#include <string>

struct libusb_device;

namespace platform {

// The kernel's name of a USB device, made of its bus and the ports on the way
// to it ("1-1.4"), or "usb<bus>" for a root hub. It stays the same while the
// device stays plugged in, even across the re-enumeration of a boot loader,
// and it names the device's folder below /sys/bus/usb/devices.
std::string kernelName(libusb_device *device);

// The device path given to the logic above ("usb:1-1.4"), and back; nothing
// when the path is not one of ours.
std::string devicePathFor(const std::string &kernelName);
std::optional<std::string> kernelNameOf(const std::string &devicePath);

}  // namespace platform
