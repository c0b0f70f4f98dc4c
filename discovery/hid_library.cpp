#include "discovery/hid_library.h"

namespace {

enum FunctionSlot { serialNumberString = 1, manufacturerString = 2, productString = 3 };

constexpr std::uint32_t stringBufferBytes = 1024;
constexpr std::size_t stringBufferUnits = stringBufferBytes / 2;

// Each UTF-16 code unit up to the first zero becomes one 8-bit character, its
// low 8 bits; never past the buffer's end.
std::string narrow(const std::uint16_t *units)
{
    std::string text;
    for (std::size_t i = 0; i < stringBufferUnits && units[i] != 0; ++i)
        text.push_back(static_cast<char>(units[i] & 0xFF));
    return text;
}

}  // namespace

const char *const HidLibraryBinding::functionNames[functionCount] = {
    "HidD_GetAttributes",     "HidD_GetSerialNumberString", "HidD_GetManufacturerString",
    "HidD_GetProductString",  "HidD_SetFeature",            "HidD_GetFeature",
    "HidD_GetIndexedString",  "HidD_GetPreparsedData",      "HidD_FreePreparsedData",
    "HidP_GetCaps",           "HidD_SetNumInputBuffers",    "HidD_GetNumInputBuffers",
};

bool HidLibraryBinding::bind(const std::shared_ptr<platform::UsbBackend> &backend)
{
    if (library_ != platform::invalidHandle && boundWith_.lock() == backend)
        return true;
    library_ = platform::invalidHandle;
    boundWith_.reset();
    platform::HidAccess *hid = backend->hid();
    if (!hid)
        return false;
    const platform::Handle library = hid->loadLibrary("hid.dll");
    if (library == platform::invalidHandle)
        return false;
    for (int i = 0; i < functionCount; ++i) {
        functions_[i] = hid->findFunction(library, functionNames[i]);
        if (!functions_[i]) {
            hid->freeLibrary(library);
            return false;
        }
    }
    library_ = library;
    boundWith_ = backend;
    return true;
}

void HidLibraryBinding::readDeviceStrings(UsbDeviceInfo &record) const
{
    if (library_ == platform::invalidHandle || !record.backend || boundWith_.lock() != record.backend)
        return;
    platform::HidAccess &hid = *record.backend->hid();
    platform::Handle device = hid.openDevice(record.devicePath, false);
    if (device == platform::invalidHandle)
        device = hid.openDevice(record.devicePath, true);
    if (device == platform::invalidHandle)
        return;
    // One buffer serves all three calls; a zero unit past its end guards the
    // narrowing against a string that fills it completely.
    std::uint16_t buffer[stringBufferUnits + 1] = {};
    if (hid.callStringFunction(functions_[manufacturerString], device, buffer, stringBufferBytes))
        record.manufacturer = narrow(buffer);
    if (hid.callStringFunction(functions_[productString], device, buffer, stringBufferBytes))
        record.description = narrow(buffer);
    if (hid.callStringFunction(functions_[serialNumberString], device, buffer, stringBufferBytes) &&
        buffer[0] < 256)
        record.serialNumber = narrow(buffer);
    hid.closeDevice(device);
}

HidLibraryBinding &hidLibrary()
{
    static HidLibraryBinding binding;
    return binding;
}

bool bindHidLibrary() { return hidLibrary().bind(); }
