#include "demo/demo_adapter.h"

#include <algorithm>
#include <cstring>

#include "discovery/usb_device_info.h"
#include "update/firmware_image.h"
#include "update/simulated_adapter.h"

namespace {

using platform::LoaderFault;

// How long an adapter that reboots into its boot loader stays off the bus.
constexpr std::uint32_t rebootMilliseconds = 1500;

constexpr std::uint8_t connectCode = 0x01;
constexpr std::uint8_t disconnectCode = 0x02;
constexpr std::uint8_t writeCode = 0x03;
constexpr std::uint8_t eraseCode = 0x05;
constexpr std::uint8_t verifyCode = 0x07;

const char *const faults[] = {"busy", "connect", "erase", "write", "verify", "crc", "disconnect", "unplug",
                              "never-back"};

// The carried image with an earlier version in its header, so that the
// panel shows an update to make.
std::vector<std::uint8_t> olderImageOf(const FirmwareImage &entry)
{
    std::vector<std::uint8_t> image(entry.image, entry.image + entry.imageSize);
    const ImageVersion carried = imageVersion(entry);
    const auto major = static_cast<std::uint16_t>(carried.minor > 0 ? carried.major : carried.major - 1);
    const auto minor = static_cast<std::uint16_t>(carried.minor > 0 ? carried.minor - 1 : 9);
    image[20] = static_cast<std::uint8_t>(major), image[21] = static_cast<std::uint8_t>(major >> 8);
    image[22] = static_cast<std::uint8_t>(minor), image[23] = static_cast<std::uint8_t>(minor >> 8);
    const char buildText[] = "Build: earlier (demo)";
    std::fill(image.begin() + 24, image.begin() + 64, std::uint8_t{0});
    std::memcpy(image.data() + 24, buildText, sizeof buildText);
    return image;
}

}  // namespace

bool isDemoFault(const std::string &name)
{
    return std::find(std::begin(faults), std::end(faults), name) != std::end(faults);
}

DemoAdapter::DemoAdapter(const DemoOptions &options) : bus_(*platform::nativeServices().clock)
{
    const std::uint16_t productId = productIdForVariant(options.variant);
    adapter_ = &bus_.attach(simulatedAdapter(productId, options.serialNumber));
    UsbDeviceInfo record;
    record.productId = productId;
    record.serialNumber = options.serialNumber;
    const FirmwareImage *entry = record.firmwareImage();
    if (!entry && !options.fault.empty())
        throw DemoUsageError{"this adapter is not supported, so no fault can show"};

    platform::SimulatedLoader &loader = adapter_->loader();
    const bool installed = entry && options.installed != DemoOptions::Installed::none;
    if (installed) {
        if (options.installed == DemoOptions::Installed::older) {
            olderImage_ = olderImageOf(*entry);
            loader.eraseAll();
            loader.loadImage(olderImage_.data(), olderImage_.size());
        } else {
            installCarriedImage(*adapter_, *entry);
        }
        if (entry->reopenAfterConnect)
            adapter_->setReenumerateOnConnect(rebootMilliseconds);
    }
    applyRealisticTiming(bus_, *adapter_);

    const std::string &fault = options.fault;
    if (fault == "busy")
        adapter_->setBusy(true);
    else if (fault == "connect")
        loader.injectFault(connectCode, LoaderFault::statusZero);
    else if (fault == "erase")
        loader.injectFault(eraseCode, LoaderFault::statusZero, 2);
    else if (fault == "write")
        loader.injectFault(writeCode, LoaderFault::statusZero, 3);
    else if (fault == "verify")
        loader.injectFault(verifyCode, LoaderFault::noReply, 1);  // waits out the link's time-out
    else if (fault == "crc")
        loader.injectFault(verifyCode, LoaderFault::wrongCrc, 1);
    else if (fault == "disconnect")
        loader.injectFault(disconnectCode, LoaderFault::statusZero);
    else if (fault == "unplug")
        adapter_->unplugAfterBytes(entry->imageSize / 2);  // in the middle of the download
    else if (fault == "never-back") {
        if (!installed || !entry->reopenAfterConnect)
            throw DemoUsageError{"never-back needs installed firmware on a variant that reboots into its boot "
                                 "loader (arm-basic, max or flex)"};
        adapter_->setReenumerateOnConnect(0xFFFFFFFFU);
    }

    if (options.attachAfter > 0)
        unplug();
}
