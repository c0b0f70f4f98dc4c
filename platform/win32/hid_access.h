#pragma once

#include "platform/usb_backend.h"

namespace platform {

// The HID library through LoadLibraryA and GetProcAddress, and HID device
// files opened with CreateFileA. Library and device handles are the Win32
// handles themselves.
class Win32HidAccess : public HidAccess {
public:
    Handle loadLibrary(const char *name) override;
    void *findFunction(Handle library, const char *name) override;
    void freeLibrary(Handle library) override;
    Handle openDevice(const std::string &path, bool shared) override;
    bool callStringFunction(void *function, Handle device, std::uint16_t *buffer,
                            std::uint32_t bytes) override;
    void closeDevice(Handle device) override;
};

}  // namespace platform
