#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/virtual/virtual_bus.h"
#include "simulation/simulated_faults.h"
#include "update/variant.h"

struct FirmwareImage;

// An adapter of the variant that `productId` selects in `variants`: its name,
// its link family, and flash laid out around the variant's load address.
// A product id that no row names gives a plain adapter with its own USB
// interface.
platform::AdapterConfig simulatedAdapter(std::uint16_t productId, std::string serialNumber,
                                         const VariantTable &variants = carriedVariants());

// Puts the carried image into the adapter's flash, as if it were installed.
void installCarriedImage(platform::VirtualAdapter &adapter, const FirmwareImage &entry);

// Makes transfers and flash work take about as long as on a real adapter,
// so that an install on a real clock takes seconds.
void applyRealisticTiming(platform::VirtualBus &bus, platform::VirtualAdapter &adapter);

// What is on a simulated adapter's flash.
enum class SimulatedFirmware {
    none,     // erased: the boot loader reports nothing installed
    older,    // the carried image with an earlier version: an update to make
    carried,  // the carried image: nothing to update
};

// One simulated adapter as the tools describe it.
struct SimulatedAdapterSetup {
    std::uint16_t productId = 0;
    std::string serialNumber;
    SimulatedFirmware firmware = SimulatedFirmware::none;
    std::optional<SimulatedFault> fault;
};

// Attaches the adapter to the bus with realistic timing, its firmware (an
// adapter with firmware that its variant re-enumerates on connect does so)
// and its fault. Throws SimulationError when the fault cannot show on it.
platform::VirtualAdapter &attachSimulatedAdapter(platform::VirtualBus &bus, const SimulatedAdapterSetup &setup);
