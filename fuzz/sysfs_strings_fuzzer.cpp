// The libusb backend's sysfs strings: any bytes as the kernel's UTF-8 into
// 8-bit Latin-1.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/libusb/sysfs_strings.h"

namespace {

std::string utf8FromLatin1(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string latin1 = platform::latin1FromUtf8(text);
    // Every character comes from at least one byte, and a NUL or a "/" only
    // from that very byte, never from a longer form of it.
    FUZZ_CHECK(latin1.size() <= text.size());
    for (const char special : {'\0', '/'})
        FUZZ_CHECK(std::count(latin1.begin(), latin1.end(), special) == std::count(text.begin(), text.end(), special));
    bool ascii = true;
    for (const char c : text)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        FUZZ_CHECK(latin1 == text);
    // Latin-1 text written as UTF-8 comes back as it was.
    FUZZ_CHECK(platform::latin1FromUtf8(utf8FromLatin1(text)) == text);
    return 0;
}
