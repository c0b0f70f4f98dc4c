#include "platform/device_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Latin1FromUtf8, KeepsLatin1AndGivesAQuestionMarkForEachOtherCharacterAndEachMalformedByte)
{
    const struct {
        const char *what;
        std::string utf8;
        std::string latin1;
    } cases[] = {
        {"ASCII", "VT 0012", "VT 0012"},
        {"the edges of Latin-1", "\xC2\x80 \xC3\xBF", "\x80 \xFF"},
        {"beyond Latin-1, up to the last code point", "\xC4\x80 \xEF\xBF\xBF \xF4\x8F\xBF\xBF", "? ? ?"},
        {"overlong NUL", std::string("\xC0\x80", 2), "??"},
        {"overlong slash in three bytes", "\xE0\x80\xAF", "???"},
        {"overlong in four bytes", "\xF0\x80\x81\x81", "????"},
        {"e acute in its shortest form", "\xC3\xA9", "\xE9"},
        {"a surrogate's first and last", "\xED\xA0\x80.\xED\xBF\xBF", "???.???"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"leads that start nothing", "\xF8\x88\x80\x80\x80\xFF", "??????"},
        {"a lone continuation byte", "a\x80z", "a?z"},
        {"cut off at the end", "ok\xE2\x9C", "ok??"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::latin1FromUtf8(c.utf8), c.latin1) << c.what;
}

// What a store that takes only UTF-8 keeps of text a user typed: every
// well-formed character, and U+FFFD for each byte that starts none.
TEST(WellFormedUtf8, KeepsEveryCharacterAndReplacesEachMalformedByte)
{
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(platform::wellFormedUtf8("Pr\xC3\xBC" "fplatz \xF4\x8F\xBF\xBF"), "Pr\xC3\xBC" "fplatz \xF4\x8F\xBF\xBF");
    EXPECT_EQ(platform::wellFormedUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(platform::wellFormedUtf8("Station \xB5 3"), "Station " + replacement + " 3");
    EXPECT_EQ(platform::wellFormedUtf8(std::string("\xC0\x80", 2)), replacement + replacement);
    EXPECT_EQ(platform::wellFormedUtf8("ok\xE2\x9C"), "ok" + replacement + replacement);
}

}  // namespace

namespace {

TEST(DeviceText, EveryByteSurvivesTheWayToUtf8AndBack)
{
    std::string everyByte;
    for (int code = 0; code < 256; ++code)
        everyByte += static_cast<char>(code);
    const std::string utf8 = platform::utf8FromLatin1(everyByte);
    EXPECT_EQ(utf8.size(), 128U + 2 * 128U) << "one byte below 0x80, two from there";
    EXPECT_EQ(platform::exactLatin1FromUtf8(utf8), everyByte);
    EXPECT_EQ(platform::latin1FromUtf8(utf8), everyByte);
}

TEST(DeviceText, TheExactWayBackRefusesWhatNoLatin1TextGives)
{
    for (const std::string &utf8 : {std::string("\xC4\x80"), std::string("\xC0\x80", 2), std::string("a\xC3"),
                                   std::string("\xED\xA0\x80"), std::string("\x80")})
        EXPECT_FALSE(platform::exactLatin1FromUtf8(utf8)) << utf8;
    EXPECT_EQ(platform::exactLatin1FromUtf8(""), "");
}

}  // namespace

namespace {

TEST(DeviceText, OnTheTerminalControlsAreShownAsTheirBytesAndNothingElseIsChanged)
{
    const struct {
        const char *what;
        std::string latin1;
        std::string shown;
    } cases[] = {
        {"plain ASCII", "VT0004711 (x)", "VT0004711 (x)"},
        {"Latin-1 letters become UTF-8", "Ger\xE4t \xB5" "C \xA0\xFF", "Ger\u00E4t \u00B5C \u00A0\u00FF"},
        {"a colour sequence", "\x1B[31mred", "\\x1B[31mred"},
        {"line ends, tab, bell and NUL", std::string("a\r\n\t\a\0z", 7), "a\\x0D\\x0A\\x09\\x07\\x00z"},
        {"DEL and the C1 controls, CSI among them", "\x7F\x80\x9B" "2J\x9F", "\\x7F\\x80\\x9B2J\\x9F"},
        {"a backslash is doubled", "a\\x1B", "a\\\\x1B"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(platform::terminalFromLatin1(c.latin1), c.shown) << c.what;
        // What a user types who copies it from the terminal names the bytes.
        EXPECT_EQ(platform::latin1FromTerminal(c.shown), c.latin1) << c.what;
    }
    // No text is shown with a lone backslash, lower-case hex, a short escape
    // or a control typed as itself.
    for (const char *shownNowhere : {"a\\b", "\\x1b", "\\x1", "tab\t", "\x1B"})
        EXPECT_EQ(platform::latin1FromTerminal(shownNowhere), std::nullopt) << shownNowhere;

    // Whatever the bytes: well-formed UTF-8, and no byte that a terminal
    // takes as a control.
    std::string everyByte;
    for (int code = 0; code < 256; ++code)
        everyByte += static_cast<char>(code);
    const std::string shown = platform::terminalFromLatin1(everyByte);
    EXPECT_EQ(platform::latin1FromTerminal(shown), everyByte);
    const std::optional<std::string> characters = platform::exactLatin1FromUtf8(shown);
    ASSERT_TRUE(characters);
    for (const char c : *characters) {
        const auto code = static_cast<unsigned char>(c);
        EXPECT_TRUE(code >= 0x20 && code != 0x7F && (code < 0x80 || code >= 0xA0)) << int{code};
    }
}

TEST(DeviceText, MessagesQuotingWhatTheUserTypedKeepItsTextAndLoseItsControls)
{
    const struct {
        const char *what;
        std::string text;
        std::string shown;
    } cases[] = {
        {"a Windows path keeps its backslashes", "cannot read C:\\rec\\a.jsonl", "cannot read C:\\rec\\a.jsonl"},
        {"UTF-8 letters and symbols stay", "/tmp/caf\u00E9 \u20AC", "/tmp/caf\u00E9 \u20AC"},
        {"a colour sequence", "\x1B[31mred", "\\x1B[31mred"},
        {"line end and DEL", "a\nb\x7F", "a\\x0Ab\\x7F"},
        {"a C1 control written as UTF-8", "\xC2\x9B" "2J", "\\x9B2J"},
        {"bytes that are no UTF-8", "x\xE9y\xC0\x80", "x\\xE9y\\xC0\\x80"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::terminalFromUtf8(c.text), c.shown) << c.what;
}

}  // namespace
