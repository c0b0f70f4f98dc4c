#pragma once

#include <cstdint>
#include <string>

#include "discovery/usb_device_info.h"
#include "platform/virtual/virtual_bus.h"

struct FirmwareImage;

// An adapter of the variant that `productId` selects, with flash laid out
// around the carried image's load address.
platform::AdapterConfig simulatedAdapter(std::uint16_t productId, std::string serialNumber);

// Puts the carried image into the adapter's flash, as if it were installed.
void installCarriedImage(platform::VirtualAdapter &adapter, const FirmwareImage &entry);

// Makes transfers and flash work take about as long as on a real adapter,
// so that an install on a real clock takes seconds.
void applyRealisticTiming(platform::VirtualBus &bus, platform::VirtualAdapter &adapter);

// The product id of a variant, by a short name as a user would type it
// ("arm-standard", "arm-basic", "max", "flex", "msp430"); 0 when unknown.
std::uint16_t productIdForVariant(const std::string &name);
