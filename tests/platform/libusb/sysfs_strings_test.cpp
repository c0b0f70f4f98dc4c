#include "platform/libusb/sysfs_strings.h"

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

}  // namespace
