#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "update/firmware_image.h"

class HDataLink;
struct UsbDeviceInfo;

// How the host reaches an adapter variant: through the adapter's own USB
// interface and its pipe driver, or through an FTDI bridge chip.
enum class LinkFamily { pipes, ftdi };

// One supported adapter variant: one row of update/variants.def.
struct Variant {
    std::uint16_t productId;
    const char *toolName;        // how a user names it to the tools: "max"
    const FirmwareImage *image;  // its catalogue entry
    LinkFamily link;
    // Serial numbers below this one, in plain byte order, are older adapters
    // that the carried image does not fit; null: every serial number.
    const char *lowestSerial;

    // Whether an adapter of this variant with that serial number takes the image.
    bool fits(std::string_view serialNumber) const
    {
        return !lowestSerial || serialNumber >= std::string_view(lowestSerial);
    }
};

// A table of variants, with the look-ups that the rest of the system makes in it.
class VariantTable {
public:
    explicit constexpr VariantTable(std::span<const Variant> rows) : rows_(rows) {}

    std::span<const Variant> rows() const { return rows_; }
    // The variant of an adapter's product id; null when there is none.
    const Variant *byProductId(std::uint16_t productId) const;
    // The variant by the name the tools use; null when there is none.
    const Variant *byToolName(std::string_view name) const;
    // The variant whose image fits the adapter: the product id and the serial-number rule.
    const Variant *forAdapter(std::uint16_t productId, std::string_view serialNumber) const;
    // The per-variant rules of a device record: the catalogue entry whose
    // image fits the adapter (null when none does), and a new data link of
    // the variant's family (the adapter's own pipes for a product id that no
    // row names). Opening the link may throw HException.
    const FirmwareImage *imageFor(const UsbDeviceInfo &device) const;
    std::unique_ptr<HDataLink> createDataLink(const UsbDeviceInfo &device) const;
    // The tools' names in table order, joined by `separator`: for help texts.
    std::string toolNames(std::string_view separator = ", ") const;

private:
    std::span<const Variant> rows_;
};

// The variants this updater carries firmware for.
const VariantTable &carriedVariants();
