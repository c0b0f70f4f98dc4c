#include "platform/win32/device_setup.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/interface_listing.h"

namespace platform {

namespace {

constexpr DWORD presentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
constexpr DWORD instanceIdCharacters = 100;

// The system's interface classes.
const GUID usbDeviceInterfaceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const GUID hidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// A registry string holds its terminator within the size it reports, but
// nothing guarantees one: never read past the buffer.
std::string boundedString(const char *text, std::size_t capacity)
{
    std::size_t length = 0;
    while (length < capacity && text[length] != '\0')
        ++length;
    return std::string(text, length);
}

// One class's present interfaces, as SetupAPI hands them out.
class SetupApiInterfaceSet : public InterfaceSet {
public:
    SetupApiInterfaceSet(HDEVINFO info, const GUID &interfaceClass) : info_(info), interfaceClass_(interfaceClass) {}

    EnumOutcome enumInterface(std::uint32_t index) override
    {
        haveDeviceData_ = false;
        interfaceData_ = {};
        interfaceData_.cbSize = sizeof interfaceData_;
        if (SetupDiEnumDeviceInterfaces(info_, nullptr, &interfaceClass_, index, &interfaceData_))
            return EnumOutcome::found;
        return GetLastError() == ERROR_NO_MORE_ITEMS ? EnumOutcome::noMoreItems : EnumOutcome::failed;
    }

    std::optional<std::string> interfacePath() override
    {
        DWORD required = 0;
        // Fails by design (no buffer); only the size it reports matters.
        SetupDiGetDeviceInterfaceDetailA(info_, &interfaceData_, nullptr, 0, &required, nullptr);
        constexpr DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        if (required <= pathOffset)
            return std::nullopt;

        // Held in 8-byte units so that the detail structure is aligned.
        std::vector<std::uint64_t> storage((required + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(storage.data());
        // The size of the fixed part, not of the whole buffer: SetupAPI checks it
        // against the structure it knows (8 on 64-bit Windows).
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        deviceData_ = {};
        deviceData_.cbSize = sizeof deviceData_;
        if (!SetupDiGetDeviceInterfaceDetailA(info_, &interfaceData_, detail, required, nullptr, &deviceData_))
            return std::nullopt;
        haveDeviceData_ = true;
        return boundedString(detail->DevicePath, required - pathOffset);
    }

    std::optional<std::string> instanceId() override
    {
        if (!haveDeviceData_)
            return std::nullopt;
        char id[instanceIdCharacters] = {};
        if (!SetupDiGetDeviceInstanceIdA(info_, &deviceData_, id, instanceIdCharacters, nullptr))
            return std::nullopt;
        return boundedString(id, instanceIdCharacters);
    }

    std::optional<std::string> registryProperty(RegistryProperty property) override
    {
        if (!haveDeviceData_)
            return std::nullopt;
        const DWORD code = property == RegistryProperty::manufacturer ? SPDRP_MFG : SPDRP_DEVICEDESC;
        DWORD required = 0;
        SetupDiGetDeviceRegistryPropertyA(info_, &deviceData_, code, nullptr, nullptr, 0, &required);
        if (required == 0)
            return std::nullopt;
        std::vector<BYTE> buffer(required);
        if (!SetupDiGetDeviceRegistryPropertyA(info_, &deviceData_, code, nullptr, buffer.data(), required,
                                               nullptr))
            return std::nullopt;
        return boundedString(reinterpret_cast<const char *>(buffer.data()), buffer.size());
    }

private:
    HDEVINFO info_;
    GUID interfaceClass_;
    SP_DEVICE_INTERFACE_DATA interfaceData_ = {};
    SP_DEVINFO_DATA deviceData_ = {};
    // The device information data is only filled in by a successful detail
    // fetch; before that the identifier and property calls have nothing to
    // name the device by.
    bool haveDeviceData_ = false;
};

}  // namespace

std::vector<DeviceEntry> Win32DeviceSetup::listDevices(DeviceClass deviceClass)
{
    const GUID &interfaceClass = deviceClass == DeviceClass::hid ? hidInterfaceClass : usbDeviceInterfaceClass;
    const HDEVINFO info = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, presentInterfaces);
    if (info == INVALID_HANDLE_VALUE)
        return {};
    // Released however the listing ends.
    const std::unique_ptr<void, decltype(&SetupDiDestroyDeviceInfoList)> release(info, SetupDiDestroyDeviceInfoList);
    SetupApiInterfaceSet set(info, interfaceClass);
    return listInterfaceSet(set);
}

}  // namespace platform
