#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/usb_backend.h"
#include "platform/virtual/virtual_interface.h"

namespace platform {

class VirtualBus;

// The HID library of the virtual bus, as a system that has one (Windows)
// offers it: it reads the strings of the bus's hand-made interfaces.
class VirtualHid : public HidAccess {
public:
    explicit VirtualHid(VirtualBus &bus) : bus_(bus) {}

    // Whether the library can be loaded at all, and names it lacks.
    void setAvailable(bool available) { available_ = available; }
    void removeFunction(const std::string &name) { missingFunctions_.insert(name); }

    Handle loadLibrary(const char *name) override;
    void *findFunction(Handle library, const char *name) override;
    void freeLibrary(Handle library) override;
    Handle openDevice(const std::string &path, bool shared) override;
    bool callStringFunction(void *function, Handle device, std::uint16_t *buffer, std::uint32_t bytes) override;
    void closeDevice(Handle device) override;

private:
    VirtualBus &bus_;
    bool available_ = true;
    std::set<std::string> missingFunctions_;
    std::map<Handle, VirtualInterface> devices_;  // the ones open
};

}  // namespace platform
