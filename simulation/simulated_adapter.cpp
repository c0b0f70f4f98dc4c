#include "simulation/simulated_adapter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "update/firmware_image.h"
#include "update/install_engine.h"

namespace simulation {

namespace {

constexpr std::uint32_t flashSize = 0x80000;
constexpr std::uint32_t flashAlignment = 0x10000;

using namespace imageHeader;

// The carried image with an earlier version in its header, so that the
// adapter has an update to make.
std::vector<std::uint8_t> olderImageOf(const FirmwareImage &entry)
{
    std::vector<std::uint8_t> image(entry.image, entry.image + entry.imageSize);
    const ImageVersion carried = imageVersion(entry);
    const auto major = static_cast<std::uint16_t>(carried.minor > 0 ? carried.major : carried.major - 1);
    const auto minor = static_cast<std::uint16_t>(carried.minor > 0 ? carried.minor - 1 : 9);
    image[majorOffset] = static_cast<std::uint8_t>(major);
    image[majorOffset + 1] = static_cast<std::uint8_t>(major >> 8);
    image[minorOffset] = static_cast<std::uint8_t>(minor);
    image[minorOffset + 1] = static_cast<std::uint8_t>(minor >> 8);
    const char buildText[] = "Build: earlier (simulated)";
    std::fill_n(image.begin() + buildTextOffset, buildTextField, std::uint8_t{0});
    std::memcpy(image.data() + buildTextOffset, buildText, sizeof buildText);
    return image;
}

// Changes one byte of each piece, past the image header so that the boot
// loader still reports the version.
void damagePieces(SimulatedLoader &loader, const FirmwareImage &entry,
                  const std::vector<std::uint32_t> &pieces)
{
    constexpr std::uint32_t piece = FirmwareInstaller::verifyPiece;
    constexpr std::uint32_t offsetInPiece = 100;
    for (const std::uint32_t index : pieces) {
        if (index >= (entry.imageSize + piece - 1) / piece)
            throw SimulationError{"the image has no piece " + std::to_string(index) + " to damage"};
        const std::uint32_t start = index * piece;
        const std::uint32_t offset = std::min(offsetInPiece, entry.imageSize - start - 1);
        loader.corruptFlash(entry.loadAddress + start + offset, 0x01);
    }
}

}  // namespace

AdapterConfig simulatedAdapter(std::uint16_t productId, std::string serialNumber, const VariantTable &variants)
{
    AdapterConfig config;
    config.productId = productId;
    config.serialNumber = std::move(serialNumber);
    if (const Variant *variant = variants.byProductId(productId)) {
        config.description = variant->image->variantName;
        config.ftdi = variant->link == LinkFamily::ftdi;
        config.imageAddress = variant->image->loadAddress;
        config.flashBase = variant->image->loadAddress / flashAlignment * flashAlignment;
        config.flashSize = flashSize;
    }
    return config;
}

void installCarriedImage(Adapter &adapter, const FirmwareImage &entry)
{
    adapter.loader().eraseAll();
    adapter.loader().loadImage(entry.image, entry.imageSize);
}

void applyRealisticTiming(platform::VirtualBus &bus, Adapter &adapter)
{
    // A full-speed bulk pipe: a millisecond per request, about 1 MB/s; and
    // the one full-speed bus that all the simulated adapters are plugged
    // into, whose bulk transfers together move about 1.2 MB/s.
    bus.setTiming({1000, 1'000'000, 1'200'000});
    LoaderTiming timing;
    timing.commandMicroseconds = 200;
    timing.eraseMicrosecondsPerKiB = 1500;
    timing.programMicrosecondsPerKiB = 6000;
    timing.verifyMicrosecondsPerKiB = 150;
    adapter.loader().setTiming(timing);
}

Adapter &attachSimulatedAdapter(platform::VirtualBus &bus, const SimulatedAdapterSetup &setup)
{
    AdapterConfig config = simulatedAdapter(setup.productId, setup.serialNumber);
    config.devicePath = setup.port;
    const Variant *variant = carriedVariants().forAdapter(setup.productId, setup.serialNumber);
    const FirmwareImage *entry = variant ? variant->image : nullptr;
    if (!setup.damagedPieces.empty() && !entry)
        throw SimulationError{"the updater carries no image for this adapter, so none can be damaged"};
    Adapter &adapter = attach(bus, config);
    const bool installed = entry && (setup.firmware != SimulatedFirmware::none || !setup.damagedPieces.empty());
    if (installed) {
        if (setup.firmware == SimulatedFirmware::older) {
            const std::vector<std::uint8_t> older = olderImageOf(*entry);
            adapter.loader().eraseAll();
            adapter.loader().loadImage(older.data(), older.size());
        } else {
            installCarriedImage(adapter, *entry);
        }
        damagePieces(adapter.loader(), *entry, setup.damagedPieces);
        if (entry->reopenAfterConnect)
            adapter.setReenumerateOnConnect(rebootMilliseconds);
    }
    applyRealisticTiming(bus, adapter);
    if (setup.fault)
        injectSimulatedFault(adapter, entry, installed, *setup.fault);
    return adapter;
}

}  // namespace simulation
