#include "update/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "loader/loader_info.h"

using namespace imageHeader;

bool isValidImage(const FirmwareImage &entry)
{
    if (entry.imageSize < minimumImageSize || !entry.image)
        return false;
    return littleEndian32(entry.image) == firmwareImageMagic;
}

std::string versionDescription(std::uint16_t major, std::uint16_t minor, std::string_view buildText)
{
    return std::to_string(major) + "." + std::to_string(minor) + " - " + std::string(buildText);
}

std::string_view boundedText(const char *field, std::size_t fieldSize)
{
    const void *nul = std::memchr(field, 0, fieldSize);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - field) : fieldSize};
}

ImageVersion imageVersion(const FirmwareImage &entry)
{
    const std::size_t field = std::min<std::size_t>(buildTextField, entry.imageSize - buildTextOffset);
    return {littleEndian16(entry.image + majorOffset), littleEndian16(entry.image + minorOffset),
            boundedText(reinterpret_cast<const char *>(entry.image + buildTextOffset), field)};
}

std::optional<std::string> carriedVersion(const FirmwareImage &entry)
{
    if (!isValidImage(entry))
        return std::nullopt;
    const ImageVersion version = imageVersion(entry);
    return versionDescription(version.major, version.minor, version.buildText);
}

std::optional<std::string> installedVersion(const LoaderInfo &info)
{
    if (info.words[1] != 1 || info.words[2] != firmwareImageMagic)
        return std::nullopt;
    return versionDescription(info.imageVersionMajor, info.imageVersionMinor,
                              boundedText(info.imageDescription, sizeof info.imageDescription));
}

std::string_view releaseNotesOf(const FirmwareImage &entry)
{
    return entry.releaseNotes ? std::string_view(entry.releaseNotes, entry.releaseNotesLength) : std::string_view();
}
