#include "update/attached_adapters.h"

#include "discovery/enumeration.h"

namespace {

constexpr int everyUsbDevice = 0;  // the interface kind of the generic USB device class
constexpr int anyProductId = -1;
constexpr const char *libusbPathPrefix = "usb:";

}  // namespace

DeviceList attachedAdapters() { return filterDevices(enumerateDevices(everyUsbDevice), familyVendorId, anyProductId); }

std::string portOf(const UsbDeviceInfo &device)
{
    const std::string &path = device.devicePath;
    const std::string prefix = libusbPathPrefix;
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

std::string devicePathAt(const std::string &port, std::string_view backend)
{
    const std::string prefix = libusbPathPrefix;
    return backend == "libusb" && !port.starts_with(prefix) ? prefix + port : port;
}
