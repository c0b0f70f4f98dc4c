#include "simulation/simulated_faults.h"

#include <array>
#include <limits>

#include "loader/commands.h"
#include "simulation/adapter.h"
#include "update/firmware_image.h"

namespace simulation {

namespace {

using namespace loader;

constexpr std::array<SimulatedFaultInfo, 10> faults = {{
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
    for (const SimulatedFaultInfo &info : faults)
        if (info.fault == fault)
            return info.name;
    return "";
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
    }
}

}  // namespace simulation
