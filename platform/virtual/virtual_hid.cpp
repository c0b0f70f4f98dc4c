#include "platform/virtual/virtual_hid.h"

#include <algorithm>
#include <cstring>

#include "platform/virtual/virtual_bus.h"

namespace platform {

namespace {

// The one HID function table entry each bound name points at.
const char *const hidFunctionTokens[] = {
    "HidD_GetAttributes",    "HidD_GetSerialNumberString", "HidD_GetManufacturerString",
    "HidD_GetProductString", "HidD_SetFeature",            "HidD_GetFeature",
    "HidD_GetIndexedString", "HidD_GetPreparsedData",      "HidD_FreePreparsedData",
    "HidP_GetCaps",          "HidD_SetNumInputBuffers",    "HidD_GetNumInputBuffers",
};

}  // namespace

Handle VirtualHid::loadLibrary(const char *name)
{
    if (!available_ || std::string(name) != "hid.dll")
        return invalidHandle;
    return 0x1;  // a library is no handle to close
}

void *VirtualHid::findFunction(Handle, const char *name)
{
    if (missingFunctions_.count(name))
        return nullptr;
    for (const char *const &token : hidFunctionTokens)
        if (std::strcmp(token, name) == 0)
            return const_cast<char **>(&token);
    return nullptr;
}

void VirtualHid::freeLibrary(Handle) {}

Handle VirtualHid::openDevice(const std::string &path, bool shared)
{
    for (const VirtualInterface &entry : bus_.interfaces()) {
        if (entry.devicePath != path)
            continue;
        if (shared ? entry.hidSharedOpenFails : entry.hidOpenFails)
            return invalidHandle;
        const Handle device = bus_.issueHandle();
        devices_[device] = entry;
        return device;
    }
    return invalidHandle;
}

bool VirtualHid::callStringFunction(void *function, Handle deviceHandle, std::uint16_t *buffer, std::uint32_t bytes)
{
    const auto device = devices_.find(deviceHandle);
    if (device == devices_.end() || !function)
        return false;
    const std::string name = *static_cast<const char *const *>(function);
    const VirtualInterface &entry = device->second;
    const std::optional<std::u16string> *text = nullptr;
    if (name == "HidD_GetManufacturerString")
        text = &entry.hidManufacturer;
    else if (name == "HidD_GetProductString")
        text = &entry.hidProduct;
    else if (name == "HidD_GetSerialNumberString")
        text = &entry.hidSerialNumber;
    if (!text || !*text)
        return false;
    // Like the real library: as much as fits, zero-terminated when there is room.
    const std::size_t units = bytes / 2;
    const std::size_t n = std::min(units, (*text)->size());
    std::copy_n((*text)->begin(), n, buffer);
    if (n < units)
        buffer[n] = 0;
    return true;
}

void VirtualHid::closeDevice(Handle device) { devices_.erase(device); }

}  // namespace platform
