#pragma once

#include <cstdint>

// What the boot loader reports about itself and the installed application
// image. The fields follow the 76-byte payload of the information reply; the
// image fields are a copy of the installed image's header.
struct LoaderInfo {
    std::uint16_t loaderVersionMajor = 0;
    std::uint16_t loaderVersionMinor = 0;
    // Element 1 is 1 and element 2 the image magic when an application image
    // is installed; the others are carried without interpretation.
    std::uint32_t words[7] = {};
    std::uint16_t imageVersionMajor = 0;
    std::uint16_t imageVersionMinor = 0;
    // Build text; ends at its first NUL or after all 40 characters.
    char imageDescription[40] = {};
};

inline constexpr std::uint32_t firmwareImageMagic = 0xCAFEF00DU;
