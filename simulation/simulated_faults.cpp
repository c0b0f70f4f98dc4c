#include "simulation/simulated_faults.h"

#include <array>
#include <limits>

#include "loader/commands.h"
#include "platform/table_row.h"
#include "simulation/adapter.h"
#include "update/firmware_image.h"

namespace simulation {

namespace {

using namespace loader;

constexpr std::array<SimulatedFaultInfo, 15> faults = {{
    {SimulatedFault::busy, "busy", "another program holds the adapter"},
    {SimulatedFault::connect, "connect", "the boot loader refuses the connect"},
    {SimulatedFault::erase, "erase", "the second erase command fails"},
    {SimulatedFault::write, "write", "the third write command fails"},
    {SimulatedFault::verify, "verify", "the first verify command gets no answer"},
    {SimulatedFault::crc, "crc", "the first verify answers another CRC"},
    {SimulatedFault::disconnect, "disconnect", "the boot loader refuses the disconnect"},
    {SimulatedFault::noReply, "no-reply", "the boot loader never answers the information request"},
    {SimulatedFault::unplug, "unplug", "the adapter is pulled out halfway through the download"},
    {SimulatedFault::neverBack, "never-back", "the adapter reboots into its boot loader and never comes back"},
    {SimulatedFault::noPermission, "no-permission", "the system refuses access to the adapter"},
    {SimulatedFault::noDriver, "no-driver", "the adapter's pipes cannot be opened, as without its driver"},
    {SimulatedFault::link, "link", "a transfer fails halfway through the download; the adapter stays attached"},
    {SimulatedFault::wrongVersion, "wrong-version",
     "after the install the boot loader reports another version than the carried one"},
    {SimulatedFault::garbled, "garbled", "the boot loader's information reply carries another command's tag"},
}};

}  // namespace

std::span<const SimulatedFaultInfo> simulatedFaults() { return faults; }

std::optional<SimulatedFault> simulatedFaultNamed(std::string_view name)
{
    for (const SimulatedFaultInfo &info : faults)
        if (name == info.name)
            return info.fault;
    return std::nullopt;
}

const char *nameOf(SimulatedFault fault)
{
    const SimulatedFaultInfo *info = rowWhere(faults, &SimulatedFaultInfo::fault, fault);
    return info ? info->name : "";
}

std::string simulatedFaultNames(std::string_view separator)
{
    std::string names;
    for (const SimulatedFaultInfo &info : faults) {
        if (!names.empty())
            names += separator;
        names += info.name;
    }
    return names;
}

void injectSimulatedFault(Adapter &adapter, const FirmwareImage *entry, bool installed, SimulatedFault fault)
{
    if (!entry)
        throw SimulationError{"the updater does not support this adapter, so no fault can show on it"};
    SimulatedLoader &loader = adapter.loader();
    switch (fault) {
    case SimulatedFault::busy:
        adapter.device().setBusy(true);
        break;
    case SimulatedFault::connect:
        loader.injectFault(connectCommand, LoaderFault::statusZero);
        break;
    case SimulatedFault::erase:
        loader.injectFault(eraseCommand, LoaderFault::statusZero, 2);
        break;
    case SimulatedFault::write:
        loader.injectFault(writeCommand, LoaderFault::statusZero, 3);
        break;
    case SimulatedFault::verify:
        // The host waits out its link's time-out.
        loader.injectFault(verifyCommand, LoaderFault::noReply, 1);
        break;
    case SimulatedFault::crc:
        loader.injectFault(verifyCommand, LoaderFault::wrongCrc, 1);
        break;
    case SimulatedFault::disconnect:
        loader.injectFault(disconnectCommand, LoaderFault::statusZero);
        break;
    case SimulatedFault::noReply:
        loader.injectFault(loaderInfoCommand, LoaderFault::noReply);
        break;
    case SimulatedFault::unplug:
        adapter.device().unplugAfterBytes(entry->imageSize / 2);
        break;
    case SimulatedFault::neverBack:
        if (!installed || !entry->reopenAfterConnect)
            throw SimulationError{"never-back needs installed firmware on a variant that reboots into its boot "
                                  "loader"};
        adapter.setReenumerateOnConnect(std::numeric_limits<std::uint32_t>::max());
        break;
    case SimulatedFault::noPermission:
        adapter.device().denyAccess();
        break;
    case SimulatedFault::noDriver:
        adapter.device().failPipeOpen(platform::Pipe::in);
        break;
    case SimulatedFault::link:
        adapter.device().faults().writeBytesUntilFailure = entry->imageSize / 2;
        break;
    case SimulatedFault::wrongVersion:
        loader.misreportVersionAfterWrites();
        break;
    case SimulatedFault::garbled:
        loader.injectFault(loaderInfoCommand, LoaderFault::wrongTag);
        break;
    }
}

}  // namespace simulation
