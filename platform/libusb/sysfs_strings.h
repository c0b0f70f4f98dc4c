#pragma once

#include <optional>
#include <string>

namespace platform {

// A string attribute of a USB device's sysfs folder (serial, manufacturer,
// product): the strings the kernel read from the device when it arrived, so
// reading them needs no device I/O and no permission. The kernel gives UTF-8;
// the result is 8-bit Latin-1 like the rest of the system's text, with "?"
// for characters that Latin-1 lacks. Nothing when the attribute is absent
// or unreadable.
std::optional<std::string> sysfsString(const std::string &kernelName, const char *attribute);

}  // namespace platform
