#include "platform/win32/hid_access.h"

#include <windows.h>

#include "platform/win32/handle_cast.h"

namespace platform {

namespace {

// HidD_GetManufacturerString, HidD_GetProductString and
// HidD_GetSerialNumberString all have this shape.
using StringFunction = BOOLEAN(__stdcall *)(HANDLE device, PVOID buffer, ULONG bufferLength);

HMODULE moduleOf(Handle library) { return reinterpret_cast<HMODULE>(library); }

}  // namespace

Handle Win32HidAccess::loadLibrary(const char *name)
{
    const HMODULE library = LoadLibraryA(name);
    return library ? reinterpret_cast<Handle>(library) : invalidHandle;
}

void *Win32HidAccess::findFunction(Handle library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(moduleOf(library), name));
}

void Win32HidAccess::freeLibrary(Handle library) { FreeLibrary(moduleOf(library)); }

Handle Win32HidAccess::openDevice(const std::string &path, bool shared)
{
    const DWORD shareMode = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    return win32::fromWin32(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

bool Win32HidAccess::callStringFunction(void *function, Handle device, std::uint16_t *buffer,
                                        std::uint32_t bytes)
{
    const auto call = reinterpret_cast<StringFunction>(function);
    return call(win32::toWin32(device), buffer, bytes) != FALSE;
}

void Win32HidAccess::closeDevice(Handle device)
{
    if (device != invalidHandle)
        CloseHandle(win32::toWin32(device));
}

}  // namespace platform
