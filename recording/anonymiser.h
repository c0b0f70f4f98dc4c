#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/usb_backend.h"

namespace recording {

// Replaces what identifies a user's hardware (serial numbers and device
// paths, also the serial number inside a Windows instance identifier) by
// placeholders, the same one for the same original throughout a recording.
//
// A placeholder keeps what the program decides by: a serial number keeps its
// order against each of `serialBoundaries` (the lowest serial numbers that
// variants take, compared in plain byte order), so an adapter too old for its
// image stays too old (where "serial-1" would sort otherwise, the placeholder
// keeps the few leading characters that decide); a device path keeps its length, so a path too long to
// open stays too long; an empty serial number stays empty.
class Anonymiser {
public:
    explicit Anonymiser(std::vector<std::string> serialBoundaries = {});

    std::string serial(const std::string &serialNumber);
    std::string devicePath(const std::string &path);
    std::string instanceId(const std::string &instanceId);
    platform::DeviceEntry entry(platform::DeviceEntry entry);
    // A command word that is a serial number already seen (or declared by
    // calling serial() first) becomes its placeholder.
    std::string commandWord(const std::string &word) const;

private:
    std::vector<std::string> boundaries_;
    std::map<std::string, std::string> serials_;
    std::map<std::string, std::string> paths_;
};

}  // namespace recording
