#include "update/variant.h"

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "discovery/usb_device_info.h"

namespace {

// The interface selector that the FTDI links of the family use.
constexpr int ftdiInterfaceSelector = -1;

}  // namespace

const Variant *VariantTable::byProductId(std::uint16_t productId) const
{
    for (const Variant &variant : rows_)
        if (variant.productId == productId)
            return &variant;
    return nullptr;
}

const Variant *VariantTable::byToolName(std::string_view name) const
{
    for (const Variant &variant : rows_)
        if (name == variant.toolName)
            return &variant;
    return nullptr;
}

const Variant *VariantTable::forAdapter(std::uint16_t productId, std::string_view serialNumber) const
{
    const Variant *variant = byProductId(productId);
    return variant && variant->fits(serialNumber) ? variant : nullptr;
}

std::string VariantTable::toolNames(std::string_view separator) const
{
    std::string names;
    for (const Variant &variant : rows_) {
        if (!names.empty())
            names += separator;
        names += variant.toolName;
    }
    return names;
}

const FirmwareImage *VariantTable::imageFor(const UsbDeviceInfo &device) const
{
    const Variant *variant = forAdapter(device.productId, device.serialNumber);
    return variant ? variant->image : nullptr;
}

std::unique_ptr<HDataLink> VariantTable::createDataLink(const UsbDeviceInfo &device) const
{
    const Variant *variant = byProductId(device.productId);
    if (variant && variant->link == LinkFamily::ftdi)
        return std::make_unique<UsbdFtd2xxDataLink>(device, ftdiInterfaceSelector);
    return std::make_unique<UsbVantrelWinDataLink>(device);
}
