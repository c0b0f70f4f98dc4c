#pragma once

#include <windows.h>

#include "platform/usb_backend.h"

namespace platform::win32 {

// The seam's opaque handles carry either a Win32 HANDLE as it is, so that
// INVALID_HANDLE_VALUE and invalidHandle stay the same value, or a pointer to
// a record of the backend's own.
inline Handle fromWin32(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? invalidHandle : reinterpret_cast<Handle>(handle);
}

inline HANDLE toWin32(Handle handle)
{
    return handle == invalidHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

template <typename Record>
Handle handleOf(Record *record)
{
    return reinterpret_cast<Handle>(record);
}

template <typename Record>
Record &recordOf(Handle handle)
{
    return *reinterpret_cast<Record *>(handle);
}

}  // namespace platform::win32
