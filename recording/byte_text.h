#pragma once

// Data and CRCs as text in a file whose lines are JSON. Device strings go as
// platform/device_text.h makes them UTF-8: each byte as the code point of the
// same value, so ASCII and Latin-1 read as themselves.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace recording {

// Two lower-case hexadecimal digits a byte.
std::string hexFromBytes(const std::uint8_t *data, std::size_t size);
// A CRC-32 as eight upper-case hexadecimal digits, as the loader's tools show it.
std::string crcText(std::uint32_t crc);

// Nothing for an odd length or a character that is no hexadecimal digit
// (either case is accepted).
std::optional<std::vector<std::uint8_t>> bytesFromHex(std::string_view text);

}  // namespace recording
