#pragma once

// Lossless text for the 8-bit bytes of device strings and data in a file
// whose lines are JSON, which is UTF-8: strings carry each byte as the code
// point of the same value (so ASCII and Latin-1 read as themselves), data
// goes as hexadecimal.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace recording {

// Each byte as the code point U+0000 to U+00FF, in UTF-8.
std::string utf8FromBytes(std::string_view bytes);
// The bytes back; nothing when the text holds a code point above U+00FF or
// is not well-formed UTF-8.
std::optional<std::string> bytesFromUtf8(std::string_view text);

// Two lower-case hexadecimal digits a byte.
std::string hexFromBytes(const std::uint8_t *data, std::size_t size);
// A CRC-32 as eight upper-case hexadecimal digits, as the loader's tools show it.
std::string crcText(std::uint32_t crc);

// Nothing for an odd length or a character that is no hexadecimal digit
// (either case is accepted).
std::optional<std::vector<std::uint8_t>> bytesFromHex(std::string_view text);

}  // namespace recording
