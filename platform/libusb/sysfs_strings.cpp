#include "platform/libusb/sysfs_strings.h"

#include "platform/device_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>

namespace platform {

namespace {

// A USB string descriptor holds at most 126 UTF-16 units, at most three
// bytes each in UTF-8, plus the kernel's newline.
constexpr std::size_t maxAttributeBytes = 3 * 126 + 1;

std::optional<std::string> readAttribute(const std::string &path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    char buffer[maxAttributeBytes + 1];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const ssize_t got = ::read(file, buffer + filled, sizeof buffer - filled);
        if (got < 0) {
            ::close(file);
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(file);
    std::string text(buffer, filled);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

}  // namespace

std::optional<std::string> sysfsString(const std::string &kernelName, const char *attribute)
{
    auto text = readAttribute("/sys/bus/usb/devices/" + kernelName + "/" + attribute);
    if (!text)
        return std::nullopt;
    return latin1FromUtf8(*text);
}

}  // namespace platform
