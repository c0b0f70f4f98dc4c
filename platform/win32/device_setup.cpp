#include "platform/win32/device_setup.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/win32/handle_cast.h"

namespace platform {

namespace {

constexpr DWORD presentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
constexpr DWORD instanceIdCharacters = 100;

struct InterfaceSet {
    HDEVINFO info;
    GUID interfaceClass;
    SP_DEVICE_INTERFACE_DATA interfaceData;
    SP_DEVINFO_DATA deviceData;
    // The device information data is only filled in by a successful detail
    // fetch; before that the identifier and property calls have nothing to
    // name the device by.
    bool haveDeviceData;
};

GUID toWin32(const Guid &guid)
{
    GUID result;
    result.Data1 = guid.data1;
    result.Data2 = guid.data2;
    result.Data3 = guid.data3;
    std::memcpy(result.Data4, guid.data4, sizeof result.Data4);
    return result;
}

InterfaceSet &setOf(Handle set) { return win32::recordOf<InterfaceSet>(set); }

// A registry string holds its terminator within the size it reports, but
// nothing guarantees one: never read past the buffer.
std::string boundedString(const char *text, std::size_t capacity)
{
    std::size_t length = 0;
    while (length < capacity && text[length] != '\0')
        ++length;
    return std::string(text, length);
}

}  // namespace

Handle Win32DeviceSetup::openInterfaceSet(const Guid &interfaceClass)
{
    const GUID guid = toWin32(interfaceClass);
    const HDEVINFO info = SetupDiGetClassDevsA(&guid, nullptr, nullptr, presentInterfaces);
    if (info == INVALID_HANDLE_VALUE)
        return invalidHandle;
    auto *set = new InterfaceSet{};
    set->info = info;
    set->interfaceClass = guid;
    return win32::handleOf(set);
}

EnumOutcome Win32DeviceSetup::enumInterface(Handle set, std::uint32_t index)
{
    InterfaceSet &s = setOf(set);
    s.haveDeviceData = false;
    s.interfaceData = {};
    s.interfaceData.cbSize = sizeof s.interfaceData;
    if (SetupDiEnumDeviceInterfaces(s.info, nullptr, &s.interfaceClass, index, &s.interfaceData))
        return EnumOutcome::found;
    return GetLastError() == ERROR_NO_MORE_ITEMS ? EnumOutcome::noMoreItems : EnumOutcome::failed;
}

std::optional<std::string> Win32DeviceSetup::interfacePath(Handle set, std::uint32_t)
{
    InterfaceSet &s = setOf(set);
    DWORD required = 0;
    // Fails by design (no buffer); only the size it reports matters.
    SetupDiGetDeviceInterfaceDetailA(s.info, &s.interfaceData, nullptr, 0, &required, nullptr);
    constexpr DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (required <= pathOffset)
        return std::nullopt;

    // Held in 8-byte units so that the detail structure is aligned.
    std::vector<std::uint64_t> storage((required + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(storage.data());
    // The size of the fixed part, not of the whole buffer: SetupAPI checks it
    // against the structure it knows (8 on 64-bit Windows).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    s.deviceData = {};
    s.deviceData.cbSize = sizeof s.deviceData;
    if (!SetupDiGetDeviceInterfaceDetailA(s.info, &s.interfaceData, detail, required, nullptr,
                                          &s.deviceData))
        return std::nullopt;
    s.haveDeviceData = true;
    return boundedString(detail->DevicePath, required - pathOffset);
}

std::optional<std::string> Win32DeviceSetup::instanceId(Handle set, std::uint32_t)
{
    InterfaceSet &s = setOf(set);
    if (!s.haveDeviceData)
        return std::nullopt;
    char id[instanceIdCharacters] = {};
    if (!SetupDiGetDeviceInstanceIdA(s.info, &s.deviceData, id, instanceIdCharacters, nullptr))
        return std::nullopt;
    return boundedString(id, instanceIdCharacters);
}

std::optional<std::string> Win32DeviceSetup::registryProperty(Handle set, std::uint32_t,
                                                              RegistryProperty property)
{
    InterfaceSet &s = setOf(set);
    if (!s.haveDeviceData)
        return std::nullopt;
    const DWORD code = property == RegistryProperty::manufacturer ? SPDRP_MFG : SPDRP_DEVICEDESC;
    DWORD required = 0;
    SetupDiGetDeviceRegistryPropertyA(s.info, &s.deviceData, code, nullptr, nullptr, 0, &required);
    if (required == 0)
        return std::nullopt;
    std::vector<BYTE> buffer(required);
    if (!SetupDiGetDeviceRegistryPropertyA(s.info, &s.deviceData, code, nullptr, buffer.data(),
                                           required, nullptr))
        return std::nullopt;
    return boundedString(reinterpret_cast<const char *>(buffer.data()), buffer.size());
}

void Win32DeviceSetup::closeInterfaceSet(Handle set)
{
    if (set == invalidHandle)
        return;
    InterfaceSet *s = &setOf(set);
    SetupDiDestroyDeviceInfoList(s->info);
    delete s;
}

}  // namespace platform
