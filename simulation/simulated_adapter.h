#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/virtual/virtual_bus.h"
#include "simulation/adapter.h"
#include "simulation/simulated_faults.h"
#include "update/variant.h"

struct FirmwareImage;

namespace simulation {

// An adapter of the variant that `productId` selects in `variants`: its name,
// its link family, and flash laid out around the variant's load address.
// A product id that no row names gives a plain adapter with its own USB
// interface.
AdapterConfig simulatedAdapter(std::uint16_t productId, std::string serialNumber,
                              const VariantTable &variants = carriedVariants());

// Puts the carried image into the adapter's flash, as if it were installed.
void installCarriedImage(Adapter &adapter, const FirmwareImage &entry);

// Makes transfers and flash work take about as long as on a real adapter,
// so that an install on a real clock takes seconds.
void applyRealisticTiming(platform::VirtualBus &bus, Adapter &adapter);

// What is on a simulated adapter's flash.
enum class SimulatedFirmware {
    none,     // erased: the boot loader reports nothing installed
    older,    // the carried image with an earlier version: an update to make
    carried,  // the carried image: nothing to update
};

// One simulated adapter as the tools describe it.
struct SimulatedAdapterSetup {
    SimulatedAdapterSetup() = default;
    // What every simulated adapter has; the rest keeps its defaults.
    SimulatedAdapterSetup(std::uint16_t productId_, std::string serialNumber_,
                          SimulatedFirmware firmware_ = SimulatedFirmware::none,
                          std::optional<SimulatedFault> fault_ = std::nullopt)
        : productId(productId_), serialNumber(std::move(serialNumber_)), firmware(firmware_), fault(fault_)
    {
    }

    std::uint16_t productId = 0;
    std::string serialNumber;
    SimulatedFirmware firmware = SimulatedFirmware::none;
    std::optional<SimulatedFault> fault;
    // Pieces, of the installer's verify size and counted from 0 at the load
    // address, in which one byte of the installed image is changed; the image
    // is installed even when `firmware` says none.
    std::vector<std::uint32_t> damagedPieces;
    // Its device path, the place on the bus that tells it apart from an
    // adapter with the same serial number; empty: made from its ids and
    // serial number.
    std::string port;
    // When it arrives on the bus and when it leaves, in milliseconds after
    // the start; nothing: there from the start, and staying. Carried out by
    // an AdapterSchedule (simulation/adapter_schedule.h).
    std::optional<std::uint32_t> arriveAt;
    std::optional<std::uint32_t> leaveAt;
};

// Attaches the adapter to the bus with realistic timing, its firmware (an
// adapter with firmware that its variant re-enumerates on connect does so),
// its damage and its fault. Throws SimulationError when the fault or the
// damage cannot show on it.
Adapter &attachSimulatedAdapter(platform::VirtualBus &bus, const SimulatedAdapterSetup &setup);

}  // namespace simulation
