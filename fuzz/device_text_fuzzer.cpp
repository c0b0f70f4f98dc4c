// Device text between UTF-8 and 8-bit Latin-1: any bytes as the kernel's
// UTF-8 strings or a recording's text, and any bytes as a device's text.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/device_text.h"

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
    // The exact way back takes well-formed Latin-1 text only, and then
    // agrees with the lenient one.
    if (const std::optional<std::string> exact = platform::exactLatin1FromUtf8(text))
        FUZZ_CHECK(*exact == latin1);
    // Any bytes as device text, written as UTF-8, come back as they were.
    const std::string utf8 = platform::utf8FromLatin1(text);
    FUZZ_CHECK(platform::latin1FromUtf8(utf8) == text);
    FUZZ_CHECK(platform::exactLatin1FromUtf8(utf8) == text);
    // Any bytes as device text shown on a terminal: well-formed UTF-8 with
    // no control character left to act on the terminal.
    const std::optional<std::string> shown = platform::exactLatin1FromUtf8(platform::terminalFromLatin1(text));
    FUZZ_CHECK(shown.has_value());
    for (const char c : *shown) {
        const auto code = static_cast<unsigned char>(c);
        FUZZ_CHECK(code >= 0x20 && code != 0x7F && (code < 0x80 || code >= 0xA0));
    }
    // Any bytes in one of the program's messages: what is shown is
    // well-formed UTF-8 without controls, so showing it again changes nothing.
    const std::string message = platform::terminalFromUtf8(text);
    FUZZ_CHECK(platform::terminalFromUtf8(message) == message);
    return 0;
}
