#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "loader/loader_info.h"
#include "simulation/simulated_loader.h"
#include "simulation/simulated_loader_link.h"
#include "tests/support/virtual_clock_fixture.h"

using Bytes = std::vector<std::uint8_t>;

// A simulated loader with 64 KiB of flash at 0x10000, reached by a direct link.
class LoaderFixture : public VirtualClockFixture {
protected:
    static constexpr std::uint32_t flashBase = 0x10000;
    static constexpr std::uint32_t flashSize = 0x10000;

    simulation::SimulatedLoader loader{flashBase, flashSize, flashBase};
    simulation::SimulatedLoaderLink link{loader};

    void connected()
    {
        link.connect(true);
    }
};

inline Bytes patternBytes(std::size_t size, std::uint32_t seed = 1)
{
    Bytes bytes(size);
    for (auto &value : bytes) {
        seed = seed * 1103515245U + 12345U;
        value = static_cast<std::uint8_t>(seed >> 16);
    }
    return bytes;
}

// `size` pattern bytes that begin with a valid image header of version
// major.minor.
inline Bytes imageWithHeader(std::size_t size, std::uint8_t major, std::uint8_t minor)
{
    Bytes image = patternBytes(size);
    const std::uint32_t magic = firmwareImageMagic;
    std::memcpy(image.data(), &magic, 4);
    image[20] = major, image[21] = 0, image[22] = minor, image[23] = 0;
    return image;
}

// Erases the range of `image` at `address` and writes it there, in the pieces
// an install uses: 8192 bytes to an erase, 4096 to a write.
inline void eraseAndWrite(HDataLink &link, std::uint32_t address, const Bytes &image)
{
    const auto size = static_cast<std::uint32_t>(image.size());
    for (std::uint32_t at = 0; at < size; at += 8192)
        link.eraseMemory(address + at, std::min<std::uint32_t>(8192, size - at));
    for (std::uint32_t at = 0; at < size; at += 4096)
        link.writeMemory(address + at, std::min<std::uint32_t>(4096, size - at), image.data() + at);
}
