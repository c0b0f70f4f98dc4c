#include "update/simulated_adapter.h"

#include "update/firmware_image.h"

namespace {

constexpr std::uint32_t flashSize = 0x80000;
constexpr std::uint32_t flashAlignment = 0x10000;

struct VariantName {
    const char *name;
    std::uint16_t productId;
    const char *description;
};

constexpr VariantName variants[] = {
    {"arm-standard", 3, "Vantrel for ARM Standard"}, {"arm-basic", 4, "Vantrel for ARM Basic"},
    {"max", 16, "Vantrel Max"},                      {"flex", 6, "Vantrel Flex"},
    {"msp430", 5, "Vantrel for MSP430 Standard"},
};

}  // namespace

platform::AdapterConfig simulatedAdapter(std::uint16_t productId, std::string serialNumber)
{
    platform::AdapterConfig config;
    config.productId = productId;
    config.serialNumber = std::move(serialNumber);
    for (const VariantName &variant : variants)
        if (variant.productId == productId)
            config.description = variant.description;
    UsbDeviceInfo record;
    record.productId = productId;
    record.serialNumber = config.serialNumber;
    if (const FirmwareImage *entry = record.firmwareImage()) {
        config.imageAddress = entry->loadAddress;
        config.flashBase = entry->loadAddress / flashAlignment * flashAlignment;
        config.flashSize = flashSize;
    }
    return config;
}

void installCarriedImage(platform::VirtualAdapter &adapter, const FirmwareImage &entry)
{
    adapter.loader().eraseAll();
    adapter.loader().loadImage(entry.image, entry.imageSize);
}

void applyRealisticTiming(platform::VirtualBus &bus, platform::VirtualAdapter &adapter)
{
    // A full-speed bulk pipe: a millisecond per request, about 1 MB/s.
    bus.setTiming({1000, 1'000'000});
    platform::LoaderTiming timing;
    timing.commandMicroseconds = 200;
    timing.eraseMicrosecondsPerKiB = 1500;
    timing.programMicrosecondsPerKiB = 6000;
    timing.verifyMicrosecondsPerKiB = 150;
    adapter.loader().setTiming(timing);
}

std::uint16_t productIdForVariant(const std::string &name)
{
    for (const VariantName &variant : variants)
        if (name == variant.name)
            return variant.productId;
    return 0;
}
