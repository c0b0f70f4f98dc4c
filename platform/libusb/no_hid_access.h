#pragma once

#include "platform/platform.h"

namespace platform {

// There is no HID library to load here: the HID interface kind then lists
// its devices with the strings the enumeration gives them.
class NoHidAccess : public HidAccess {
public:
    Handle loadLibrary(const char *) override { return invalidHandle; }
    void *findFunction(Handle, const char *) override { return nullptr; }
    void freeLibrary(Handle) override {}
    Handle openDevice(const std::string &, bool) override { return invalidHandle; }
    bool callStringFunction(void *, Handle, std::uint16_t *, std::uint32_t) override
    {
        return false;
    }
    void closeDevice(Handle) override {}
};

}  // namespace platform
