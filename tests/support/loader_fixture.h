#pragma once

#include <cstdint>
#include <vector>

#include "platform/virtual/simulated_loader.h"
#include "platform/virtual/simulated_loader_link.h"
#include "tests/support/virtual_clock_fixture.h"

using Bytes = std::vector<std::uint8_t>;

// A simulated loader with 64 KiB of flash at 0x10000, reached by a direct link.
class LoaderFixture : public VirtualClockFixture {
protected:
    static constexpr std::uint32_t flashBase = 0x10000;
    static constexpr std::uint32_t flashSize = 0x10000;

    platform::SimulatedLoader loader{flashBase, flashSize, flashBase};
    platform::SimulatedLoaderLink link{loader};

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
