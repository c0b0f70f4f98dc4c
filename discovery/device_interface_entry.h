#pragma once

#include <optional>
#include <string>

// One present device interface as the platform reports it, before parsing.
struct DeviceInterfaceEntry {
    std::string instanceId;  // e.g. USB\VID_131B&PID_0004\A1B2C3; at most 99 characters
    std::optional<std::string> manufacturer;
    std::optional<std::string> description;
    std::string devicePath;
};
