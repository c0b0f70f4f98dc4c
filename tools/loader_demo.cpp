// Runs the loader protocol end to end against the simulated boot loader and
// says what it did: a quick check of the stack from the terminal.

#include <cstdio>
#include <cstring>
#include <vector>

#include "datalink/hexception.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "platform/virtual/simulated_loader.h"
#include "platform/virtual/simulated_loader_link.h"
#include "platform/virtual/virtual_clock.h"

int main()
{
    platform::VirtualClock clock;
    platform::ScopedServices services({&clock, nullptr, nullptr, nullptr});

    constexpr std::uint32_t address = 0x2000;
    std::vector<std::uint8_t> image(20000);
    std::uint32_t seed = 12345;
    for (auto &byte : image) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    const std::uint32_t magic = firmwareImageMagic;
    std::memcpy(image.data(), &magic, 4);
    image[20] = 1, image[21] = 0, image[22] = 2, image[23] = 0;
    std::memcpy(image.data() + 24, "demo image", 11);

    platform::SimulatedLoader loader(address, 0x10000, address);
    loader.setBusyReplies(2);
    platform::SimulatedLoaderLink link(loader);
    link.setTimeout(60000);
    try {
        link.connect(true);
        std::printf("connected (after %zu busy waits)\n", clock.sleeps().size());
        const auto size = static_cast<std::uint32_t>(image.size());
        for (std::uint32_t done = 0; done < size; done += 8192)
            link.eraseMemory(address + done, std::min<std::uint32_t>(8192, size - done));
        std::printf("erased %u bytes at 0x%X\n", size, address);
        for (std::uint32_t done = 0; done < size; done += 4096) {
            link.writeMemory(address + done, std::min<std::uint32_t>(4096, size - done), image.data() + done);
            std::printf("\rwritten %u of %u bytes", std::min<std::uint32_t>(done + 4096, size), size);
        }
        std::printf("\n");
        const bool match = link.verifyMemory(address, size, image.data());
        std::printf("verify: %s (crc 0x%08X)\n", match ? "match" : "MISMATCH", crc32(image.data(), size));
        LoaderInfo info;
        link.getLoaderInfo(info);
        std::printf("loader reports image %u.%u - %.40s\n", info.imageVersionMajor, info.imageVersionMinor,
                    info.imageDescription);
        link.disconnect();
        std::printf("disconnected\n");
        return match ? 0 : 1;
    } catch (const HException &e) {
        std::printf("failed: %s\n", e.message().c_str());
        return 1;
    }
}
