#include "platform/win32/clock.h"

#include <windows.h>

namespace platform {

std::uint32_t Win32Clock::tickCount() { return GetTickCount(); }

std::int64_t Win32Clock::counterFrequency()
{
    LARGE_INTEGER frequency;
    // Callers fall back to the sleep alone when there is no counter.
    if (!QueryPerformanceFrequency(&frequency))
        return 0;
    return frequency.QuadPart;
}

std::int64_t Win32Clock::counterValue()
{
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

void Win32Clock::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
