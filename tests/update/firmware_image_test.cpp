#include "update/firmware_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loader/loader_info.h"

namespace {

FirmwareImage entryOf(const std::vector<std::uint8_t> &bytes)
{
    return {"test", 0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr, 0, false};
}

std::vector<std::uint8_t> withMagic(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size, 0);
    if (size >= 4)
        bytes[0] = 0x0D, bytes[1] = 0xF0, bytes[2] = 0xFE, bytes[3] = 0xCA;
    return bytes;
}

TEST(ValidImage, NeedsSixtyFourBytesAndTheMagic)
{
    EXPECT_FALSE(isValidImage(entryOf(withMagic(63))));
    EXPECT_TRUE(isValidImage(entryOf(withMagic(64))));
    std::vector<std::uint8_t> wrongMagic = withMagic(64);
    wrongMagic[3] = 0xCB;
    EXPECT_FALSE(isValidImage(entryOf(wrongMagic)));
    // The size is tested before anything is read.
    FirmwareImage empty{"test", 0, nullptr, 0, nullptr, 0, false};
    EXPECT_FALSE(isValidImage(empty));
}

TEST(VersionDescription, JoinsVersionAndBuildText)
{
    EXPECT_EQ(versionDescription(1, 5, "B"), "1.5 - B");
    EXPECT_EQ(versionDescription(2, 16, "X"), "2.16 - X");
    EXPECT_EQ(versionDescription(0, 0, ""), "0.0 - ");
    EXPECT_EQ(versionDescription(65535, 7, "Build: 1234"), "65535.7 - Build: 1234");
}

TEST(ImageVersion, ReadsTheHeaderAndBoundsTheBuildText)
{
    std::vector<std::uint8_t> bytes = withMagic(100);
    bytes[20] = 2, bytes[22] = 16;
    const char text[] = "Build: 1234";
    std::copy(text, text + sizeof text, bytes.begin() + 24);
    ImageVersion version = imageVersion(entryOf(bytes));
    EXPECT_EQ(version.major, 2);
    EXPECT_EQ(version.minor, 16);
    EXPECT_EQ(version.buildText, "Build: 1234");

    // No NUL in the field: the text is the whole 40-byte field, no more.
    std::fill(bytes.begin() + 24, bytes.end(), 'y');
    EXPECT_EQ(imageVersion(entryOf(bytes)).buildText, std::string(40, 'y'));

    // A 64-byte image ends the field with itself.
    std::vector<std::uint8_t> minimal = withMagic(64);
    std::fill(minimal.begin() + 24, minimal.end(), 'z');
    EXPECT_EQ(imageVersion(entryOf(minimal)).buildText, std::string(40, 'z'));
}

TEST(InstalledVersion, NeedsStatusOneAndTheMagic)
{
    LoaderInfo info;
    info.words[1] = 1;
    info.words[2] = firmwareImageMagic;
    info.imageVersionMajor = 2;
    info.imageVersionMinor = 16;
    std::memcpy(info.imageDescription, "X", 2);
    EXPECT_EQ(installedVersion(info), "2.16 - X");
    std::memset(info.imageDescription, 'q', sizeof info.imageDescription);
    EXPECT_EQ(installedVersion(info), "2.16 - " + std::string(40, 'q'));
    info.words[1] = 0;
    EXPECT_EQ(installedVersion(info), std::nullopt);
    info.words[1] = 1;
    info.words[2] = 0xCAFEF00E;
    EXPECT_EQ(installedVersion(info), std::nullopt);
}

TEST(CarriedImages, AreValidWithCleanReleaseTexts)
{
    for (std::size_t i = 0; i < firmwareCatalogueSize; ++i) {
        const FirmwareImage &entry = firmwareCatalogue[i];
        SCOPED_TRACE(entry.variantName);
        EXPECT_TRUE(isValidImage(entry));
        ASSERT_NE(entry.releaseNotes, nullptr);
        const std::string notes(entry.releaseNotes, entry.releaseNotesLength);
        for (unsigned char c : notes)
            ASSERT_TRUE(c != 0 && c < 0x80) << "7-bit ASCII without NUL";
        // Entry 5 separates lines with CR LF, the others with LF; all end with an empty line.
        const std::string eol = i == 4 ? "\r\n" : "\n";
        EXPECT_EQ(notes.substr(notes.size() - 2 * eol.size()), eol + eol);
        if (i == 4)
            EXPECT_EQ(notes.find("\n"), notes.find("\r\n") + 1);
        else
            EXPECT_EQ(notes.find('\r'), std::string::npos);
    }
}

}  // namespace
