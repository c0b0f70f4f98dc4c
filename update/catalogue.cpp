// The carried images and the per-variant rules of the device record, all
// made from the rows of update/variants.def.

#include <array>
#include <cstddef>

#include "datalink/data_link.h"
#include "discovery/usb_device_info.h"
#include "update/firmware_image.h"
#include "update/variant.h"

// The build embeds each row's image and release history as these arrays.
#define VANTREL_VARIANT(productId, toolName, variantName, loadAddress, files, reopen, link, lowestSerial) \
    extern const std::uint8_t files##Image[];                                                           \
    extern const std::size_t files##ImageSize;                                                          \
    extern const std::uint8_t files##Notes[];                                                           \
    extern const std::size_t files##NotesSize;
#include "update/variants.def"
#undef VANTREL_VARIANT

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

}  // namespace

const FirmwareImage firmwareCatalogue[firmwareCatalogueSize] = {
#define VANTREL_VARIANT(productId, toolName, variantName, loadAddress, files, reopen, link, lowestSerial) \
    entry(variantName, loadAddress, files##Image, files##ImageSize, files##Notes, files##NotesSize, reopen),
#include "update/variants.def"
#undef VANTREL_VARIANT
};

namespace {

// Row i's catalogue entry is firmwareCatalogue[i].
constexpr std::array<Variant, firmwareCatalogueSize> carriedRows = [] {
    constexpr Variant withoutImages[] = {
#define VANTREL_VARIANT(productId, toolName, variantName, loadAddress, files, reopen, link, lowestSerial) \
    {productId, toolName, nullptr, LinkFamily::link, lowestSerial},
#include "update/variants.def"
#undef VANTREL_VARIANT
    };
    std::array<Variant, firmwareCatalogueSize> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = withoutImages[i];
        rows[i].image = &firmwareCatalogue[i];
    }
    return rows;
}();

constexpr VariantTable carriedTable{carriedRows};

}  // namespace

const VariantTable &carriedVariants() { return carriedTable; }

const FirmwareImage *UsbDeviceInfo::firmwareImage() const { return carriedTable.imageFor(*this); }

std::unique_ptr<HDataLink> UsbDeviceInfo::createDataLink() const { return carriedTable.createDataLink(*this); }
