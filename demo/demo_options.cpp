#include "demo/demo_options.h"

#include <charconv>


std::string demoUsage()
{
    return
    "Usage: vantrel-update-demo [options] [message]\n"
    "\n"
    "The updater's window on a simulated adapter that takes as long as a real one.\n"
    "\n"
    "  --variant NAME      " + carriedVariants().toolNames() + " (default max)\n"
    "  --serial TEXT       the adapter's serial number (default 04020001)\n"
    "  --installed WHAT    the firmware on the adapter: older (default), carried or none\n"
    "  --fault NAME        a failure to inject: " + simulation::simulatedFaultNames() + "\n"
    "  --attach-after N    plug the adapter in N seconds after the start (default 0)\n"
    "  --replay FILE       no simulated adapter: the devices of a recorded session\n"
    "                      (docs/recordings.md), as fast as they were recorded\n"
    "  --auto-install      click Install Firmware once the adapter is ready, print what\n"
    "                      the window shows, and close the window when the install is over;\n"
    "                      the demo then ends with 0 when the install finished, else 1\n"
    "  --screenshots DIR   with --auto-install: save PNG pictures of the window in DIR\n"
    "  --help              this text\n"
    "\n"
    "With an updater already running, the first message is handed to it and the demo ends.\n";
}

namespace {

int secondsFrom(const std::string &option, const std::string &text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 3600)
        throw DemoUsageError{option + " wants a number of seconds from 0 to 3600, not \"" + text + "\""};
    return value;
}

}  // namespace

DemoOptions parseDemoOptions(const std::vector<std::string> &arguments)
{
    DemoOptions options;
    std::string adapterOption;  // one that shapes the simulated adapter
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const auto value = [&]() -> const std::string & {
            // An option in its place is a forgotten value, not a value.
            if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0)
                throw DemoUsageError{argument + " wants a value"};
            return arguments[++i];
        };
        if (argument == "--variant" || argument == "--serial" || argument == "--installed" || argument == "--fault" ||
            argument == "--attach-after")
            adapterOption = argument;
        if (argument == "--variant") {
            const std::string &name = value();
            const Variant *variant = carriedVariants().byToolName(name);
            if (!variant)
                throw DemoUsageError{"unknown variant \"" + name + "\""};
            options.adapter.productId = variant->productId;
        } else if (argument == "--serial") {
            options.adapter.serialNumber = value();
        } else if (argument == "--installed") {
            const std::string &what = value();
            if (what == "older")
                options.adapter.firmware = simulation::SimulatedFirmware::older;
            else if (what == "carried")
                options.adapter.firmware = simulation::SimulatedFirmware::carried;
            else if (what == "none")
                options.adapter.firmware = simulation::SimulatedFirmware::none;
            else
                throw DemoUsageError{"--installed wants older, carried or none, not \"" + what + "\""};
        } else if (argument == "--fault") {
            const std::string &name = value();
            options.adapter.fault = simulation::simulatedFaultNamed(name);
            if (!options.adapter.fault)
                throw DemoUsageError{"unknown fault \"" + name + "\""};
        } else if (argument == "--attach-after") {
            options.attachAfter = secondsFrom(argument, value());
        } else if (argument == "--replay") {
            options.replayFile = value();
        } else if (argument == "--auto-install") {
            options.autoInstall = true;
        } else if (argument == "--screenshots") {
            options.screenshotFolder = value();
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw DemoUsageError{"unknown option " + argument};
        } else {
            options.arguments.push_back(argument);
        }
    }
    if (!options.screenshotFolder.empty() && !options.autoInstall)
        throw DemoUsageError{"--screenshots needs --auto-install"};
    if (!options.replayFile.empty() && !adapterOption.empty())
        throw DemoUsageError{adapterOption + " shapes a simulated adapter, and --replay has none"};
    return options;
}
