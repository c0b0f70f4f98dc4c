#pragma once

// Text a device reports (serial number, maker, product, the build text of
// its firmware) is 8-bit: Latin-1, one character a byte, as the window shows
// it. Where it meets UTF-8 (JSON, the kernel's strings, a recording) it goes
// through these, and only these.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Every byte as the character of the same code: nothing is lost, and the
// result is always well-formed UTF-8.
std::string utf8FromLatin1(std::string_view latin1);

// The characters of UTF-8 text as bytes, "?" for every character beyond
// Latin-1 and for every malformed byte (an overlong form, a surrogate, a
// number beyond U+10FFFF, a sequence cut short or never started).
std::string latin1FromUtf8(std::string_view utf8);

// The same, but nothing at all unless every character is well-formed and
// within Latin-1: the way back from utf8FromLatin1.
std::optional<std::string> exactLatin1FromUtf8(std::string_view utf8);

}  // namespace platform
