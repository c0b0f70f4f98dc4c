#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

struct FirmwareImage;

namespace simulation {

class Adapter;

// The failures that a simulated adapter can be made to show, by the names
// that vantrel-flash --simulate ...,fault=F, the demo's --fault F and the
// tests use.
enum class SimulatedFault {
    busy,        // another program holds the adapter
    connect,     // the boot loader refuses the connect
    erase,       // the second erase command fails
    write,       // the third write command fails
    verify,      // the first verify command gets no answer
    crc,         // the first verify answers a CRC that does not match
    disconnect,  // the boot loader refuses the disconnect
    noReply,     // the boot loader never answers the information request
    unplug,      // the adapter is pulled out in the middle of the download
    neverBack,   // the adapter reboots into its boot loader and never comes back
    noPermission,  // the system refuses access to the adapter
    noDriver,      // the adapter's pipes cannot be opened
    link,          // a transfer fails halfway through the download; the adapter stays
    wrongVersion,  // after the install the boot loader reports another version
    garbled,       // the information reply carries another command's tag
};

struct SimulatedFaultInfo {
    SimulatedFault fault;
    const char *name;
    const char *description;
};

std::span<const SimulatedFaultInfo> simulatedFaults();
std::optional<SimulatedFault> simulatedFaultNamed(std::string_view name);
const char *nameOf(SimulatedFault fault);
// Every name, in order, joined by `separator`: for help texts.
std::string simulatedFaultNames(std::string_view separator = ", ");

// Why a fault cannot show on an adapter.
struct SimulationError {
    std::string message;
};

// Makes the adapter fail that way. `entry` is the adapter's carried image
// (null when the updater carries none) and `installed` whether its flash
// holds firmware. Throws SimulationError when the fault cannot show on it.
void injectSimulatedFault(Adapter &adapter, const FirmwareImage *entry, bool installed, SimulatedFault fault);

}  // namespace simulation
