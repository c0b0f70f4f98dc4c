// The carried images and the per-variant rules of the device record.

#include <string_view>

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "discovery/usb_device_info.h"
#include "update/firmware_image.h"

#define EMBEDDED(name)                        \
    extern const std::uint8_t name##Image[];  \
    extern const std::size_t name##ImageSize; \
    extern const std::uint8_t name##Notes[];  \
    extern const std::size_t name##NotesSize;
EMBEDDED(arm_standard)
EMBEDDED(arm_basic)
EMBEDDED(max)
EMBEDDED(flex)
EMBEDDED(msp430_standard)
#undef EMBEDDED

namespace {

FirmwareImage entry(const char *name, std::uint32_t address, const std::uint8_t *image, std::size_t imageSize,
                    const std::uint8_t *notes, std::size_t notesSize, bool reopen)
{
    return {name,
            address,
            image,
            static_cast<std::uint32_t>(imageSize),
            reinterpret_cast<const char *>(notes),
            static_cast<std::uint32_t>(notesSize),
            reopen};
}

// The interface selector that the FTDI links of the family use.
constexpr int ftdiInterfaceSelector = -1;
// The lowest serial number of the ARM Basic adapters that the updater supports.
constexpr std::string_view firstSupportedBasicSerial = "04020000";

}  // namespace

const FirmwareImage firmwareCatalogue[firmwareCatalogueSize] = {
    entry("Vantrel for ARM Standard", 0x2000, arm_standardImage, arm_standardImageSize, arm_standardNotes,
          arm_standardNotesSize, false),
    entry("Vantrel for ARM Basic", 0x6000, arm_basicImage, arm_basicImageSize, arm_basicNotes, arm_basicNotesSize,
          true),
    entry("Vantrel Max", 0x6000, maxImage, maxImageSize, maxNotes, maxNotesSize, true),
    entry("Vantrel Flex", 0x1A008000, flexImage, flexImageSize, flexNotes, flexNotesSize, true),
    entry("Vantrel for MSP430 Standard", 0x2000, msp430_standardImage, msp430_standardImageSize,
          msp430_standardNotes, msp430_standardNotesSize, false),
};

const FirmwareImage *UsbDeviceInfo::firmwareImage() const
{
    switch (productId) {
    case 3:
        return &firmwareCatalogue[0];
    case 4:
        // Plain byte order, as std::string compares: a proper prefix sorts first.
        return std::string_view(serialNumber) >= firstSupportedBasicSerial ? &firmwareCatalogue[1] : nullptr;
    case 5:
        return &firmwareCatalogue[4];
    case 6:
        return &firmwareCatalogue[3];
    case 16:
        return &firmwareCatalogue[2];
    default:
        return nullptr;
    }
}

std::unique_ptr<HDataLink> UsbDeviceInfo::createDataLink() const
{
    if (productId == 3 || productId == 5)
        return std::make_unique<UsbdFtd2xxDataLink>(*this, ftdiInterfaceSelector);
    return std::make_unique<UsbVantrelWinDataLink>(*this);
}
