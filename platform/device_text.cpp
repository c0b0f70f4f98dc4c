#include "platform/device_text.h"

#include <algorithm>
#include <cctype>

#include <cstdio>
#include <string>

namespace platform {

namespace {

// The character at the start of `text`: its code and its length in bytes,
// or nothing when the first byte starts no well-formed character.
struct Decoded {
    char32_t code;
    std::size_t length;
};

std::optional<Decoded> decodeFirst(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
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
    if (length == 0 || length > text.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    // Only the shortest form of a code point is UTF-8 (a longer one can
    // smuggle a NUL or a "/" past a byte check), and no surrogate or number
    // beyond U+10FFFF is a character.
    static constexpr char32_t smallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallestOfLength[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return Decoded{code, length};
}

// Calls `character(code, bytes)` for each well-formed character of the text
// and `bad(byte)` for each byte that starts none.
template <typename Character, typename Bad>
void walkUtf8(std::string_view text, Character character, Bad bad)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<Decoded> decoded = decodeFirst(text.substr(i));
        if (!decoded) {
            bad(static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        character(decoded->code, text.substr(i, decoded->length));
        i += decoded->length;
    }
}

}  // namespace

std::string utf8FromLatin1(std::string_view latin1)
{
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char c : latin1) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | code >> 6);
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

namespace {

// Below 0x20, DEL, and 0x80-0x9F, which a terminal takes as the start of
// escape sequences.
bool isTerminalControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

void appendEscaped(std::string &shown, unsigned code)
{
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
    shown += escaped;
}

}  // namespace

std::string terminalFromLatin1(std::string_view latin1)
{
    std::string shown;
    shown.reserve(latin1.size());
    for (const char c : latin1) {
        const auto code = static_cast<unsigned char>(c);
        if (isTerminalControl(code)) {
            appendEscaped(shown, code);
        } else if (c == '\\') {
            shown += "\\\\";
        } else {
            shown += utf8FromLatin1(std::string_view(&c, 1));
        }
    }
    return shown;
}

std::optional<std::string> latin1FromTerminal(std::string_view shown)
{
    // Undo the escapes, then read the rest as UTF-8 of Latin-1 characters;
    // only a text shown exactly so counts (no lower-case hex, no lone
    // backslash, no control typed as itself).
    std::string latin1;
    for (std::size_t i = 0; i < shown.size();) {
        if (shown[i] != '\\') {
            const std::size_t next = shown.find('\\', i);
            const std::size_t end = next == std::string_view::npos ? shown.size() : next;
            const std::optional<std::string> characters = exactLatin1FromUtf8(shown.substr(i, end - i));
            if (!characters)
                return std::nullopt;
            latin1 += *characters;
            i = end;
        } else if (shown.substr(i, 2) == "\\\\") {
            latin1 += '\\';
            i += 2;
        } else if (shown.size() - i >= 4 && shown[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(shown[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(shown[i + 3]))) {
            latin1 += static_cast<char>(std::stoi(std::string(shown.substr(i + 2, 2)), nullptr, 16));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    if (terminalFromLatin1(latin1) != shown)
        return std::nullopt;
    return latin1;
}

std::string terminalFromUtf8(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    walkUtf8(
        text,
        [&](char32_t code, std::string_view bytes) {
            if (isTerminalControl(code))
                appendEscaped(shown, static_cast<unsigned>(code));
            else
                shown += bytes;
        },
        [&](unsigned char byte) { appendEscaped(shown, byte); });
    return shown;
}

std::string latin1FromUtf8(std::string_view utf8)
{
    std::string latin1;
    latin1.reserve(utf8.size());
    walkUtf8(
        utf8, [&](char32_t code, std::string_view) { latin1 += code <= 0xFF ? static_cast<char>(code) : '?'; },
        [&](unsigned char) { latin1 += '?'; });
    return latin1;
}

std::string wellFormedUtf8(std::string_view text)
{
    std::string kept;
    kept.reserve(text.size());
    walkUtf8(
        text, [&](char32_t, std::string_view bytes) { kept += bytes; },
        [&](unsigned char) { kept += "\xEF\xBF\xBD"; });
    return kept;
}

std::optional<std::string> exactLatin1FromUtf8(std::string_view utf8)
{
    std::string latin1;
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<Decoded> decoded = decodeFirst(utf8.substr(i));
        if (!decoded || decoded->code > 0xFF)
            return std::nullopt;
        latin1 += static_cast<char>(decoded->code);
        i += decoded->length;
    }
    return latin1;
}

std::size_t terminalColumnsOf(std::string_view shown)
{
    return static_cast<std::size_t>(
        std::count_if(shown.begin(), shown.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace platform
