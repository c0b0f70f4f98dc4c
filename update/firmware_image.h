#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct LoaderInfo;

// How the window names a version it cannot show, and the tool with it.
inline constexpr const char *notInstalledText = "Not Installed";
inline constexpr const char *invalidImageText = "Invalid Firmware Image";

// One carried firmware image: read-only data that lives for the whole run.
struct FirmwareImage {
    const char *variantName;
    std::uint32_t loadAddress;  // erase, write and verify all start here
    const std::uint8_t *image;  // header included
    std::uint32_t imageSize;
    const char *releaseNotes;  // counted, not terminated; may be null
    std::uint32_t releaseNotesLength;
    // When set, and firmware is installed, the adapter reboots into its boot
    // loader on the first connect and the link must be opened again.
    bool reopenAfterConnect;
};

// One entry for each row of update/variants.def, in its order.
inline constexpr std::size_t firmwareCatalogueSize = 0
#define VANTREL_VARIANT(...) +1
#include "update/variants.def"
#undef VANTREL_VARIANT
    ;
extern const FirmwareImage firmwareCatalogue[firmwareCatalogueSize];

// Where an image header keeps what the updater reads of it; all fields are
// little-endian and the magic is at offset 0.
namespace imageHeader {
inline constexpr std::size_t majorOffset = 20;
inline constexpr std::size_t minorOffset = 22;
inline constexpr std::size_t buildTextOffset = 24;
inline constexpr std::size_t buildTextField = 40;  // NUL-terminated when shorter
inline constexpr std::uint32_t minimumImageSize = 64;
}  // namespace imageHeader

// The carried release history (UTF-8), empty where there is none.
std::string_view releaseNotesOf(const FirmwareImage &entry);

// At least 64 bytes that begin with the image magic.
bool isValidImage(const FirmwareImage &entry);

// "major.minor - build text".
std::string versionDescription(std::uint16_t major, std::uint16_t minor, std::string_view buildText);

// Text held in a fixed-size field: up to its first NUL, or the whole field.
std::string_view boundedText(const char *field, std::size_t fieldSize);

// The version fields of an image header. The build text is read up to its
// NUL but never past its 40-byte field nor past the image's end.
struct ImageVersion {
    std::uint16_t major;
    std::uint16_t minor;
    std::string_view buildText;
};
ImageVersion imageVersion(const FirmwareImage &entry);  // entry must be valid

// The version text of the carried image; nothing when the image is invalid.
std::optional<std::string> carriedVersion(const FirmwareImage &entry);

// The version text of the firmware that the boot loader reports as installed;
// nothing unless its status word is 1 and its header carries the magic.
std::optional<std::string> installedVersion(const LoaderInfo &info);
