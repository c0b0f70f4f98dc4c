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

// UTF-8 text with every byte that is not part of a well-formed character
// as U+FFFD, the replacement character: what a store that takes only UTF-8
// can keep of text a user typed.
std::string wellFormedUtf8(std::string_view text);

// Device text as a terminal shows it without taking orders from it: every
// printable character as UTF-8, every control character (below 0x20, DEL and
// 0x80-0x9F, which a terminal takes as the start of escape sequences) as
// \xNN with two upper-case hex digits, and a backslash as two, so that what
// is shown names the bytes sent: "\x1B" is one escape byte, "\\x1B" the
// four characters.
std::string terminalFromLatin1(std::string_view latin1);
// The way back: the device text that terminalFromLatin1 shows as `shown`,
// for a user who typed what the terminal showed; nothing where no text is
// shown so.
std::optional<std::string> latin1FromTerminal(std::string_view shown);

// The columns a terminal gives text made by terminalFromLatin1 (or any
// UTF-8 of characters a column wide): one for each character, whatever the
// length of its UTF-8.
std::size_t terminalColumnsOf(std::string_view shown);

// The program's own messages, which quote what the user typed (file names,
// arguments: UTF-8, or on Windows with backslashes), as a terminal shows them
// without taking orders from them: well-formed UTF-8 as it is, backslashes
// too, and every control character and every byte that is not part of
// well-formed UTF-8 as \xNN.
std::string terminalFromUtf8(std::string_view text);

}  // namespace platform
