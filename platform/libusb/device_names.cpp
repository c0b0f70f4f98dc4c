#include "platform/libusb/device_names.h"

#include <libusb.h>

#include <cstdint>

namespace platform {

namespace {

constexpr const char *pathPrefix = "usb:";

}  // namespace

std::string kernelName(libusb_device *device)
{
    const std::string bus = std::to_string(libusb_get_bus_number(device));
    // USB allows at most seven tiers below the root hub.
    std::uint8_t ports[7];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0)
        return "usb" + bus;
    std::string name = bus + "-";
    for (int i = 0; i < depth; ++i) {
        if (i > 0)
            name += '.';
        name += std::to_string(ports[i]);
    }
    return name;
}

std::string devicePathFor(const std::string &kernelName) { return pathPrefix + kernelName; }

std::optional<std::string> kernelNameOf(const std::string &devicePath)
{
    const std::string prefix = pathPrefix;
    if (devicePath.size() <= prefix.size() || devicePath.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return devicePath.substr(prefix.size());
}

}  // namespace platform
