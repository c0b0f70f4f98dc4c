#include "platform/libusb/sysfs_strings.h"

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

std::string latin1FromUtf8(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            length = 1, code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07;
        }
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            wellFormed = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Only the shortest form of a code point is UTF-8 (a longer one can
        // smuggle a NUL or a "/" past a byte check), and no surrogate or
        // number beyond U+10FFFF is a character.
        static constexpr char32_t smallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
        wellFormed = wellFormed && code >= smallestOfLength[length] && code <= 0x10FFFF &&
                     (code < 0xD800 || code > 0xDFFF);
        if (!wellFormed) {
            out += '?';
            ++i;
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

}  // namespace platform
