#include "demo/demo_options.h"

#include <charconv>

#include "demo/demo_adapter.h"
#include "update/simulated_adapter.h"

const char *const demoUsage =
    "Usage: vantrel-update-demo [options] [message]\n"
    "\n"
    "The updater's window on a simulated adapter that takes as long as a real one.\n"
    "\n"
    "  --variant NAME      arm-standard, arm-basic, max, flex or msp430 (default max)\n"
    "  --serial TEXT       the adapter's serial number (default 04020001)\n"
    "  --installed WHAT    the firmware on the adapter: older (default), carried or none\n"
    "  --fault NAME        a failure to inject: busy, connect, erase, write, verify, crc,\n"
    "                      disconnect, unplug or never-back\n"
    "  --attach-after N    plug the adapter in N seconds after the start (default 0)\n"
    "  --auto-install      click Install Firmware once the adapter is ready, print what\n"
    "                      the window shows, and close the window when the install is over\n"
    "  --screenshots DIR   with --auto-install: save PNG pictures of the window in DIR\n"
    "  --help              this text\n"
    "\n"
    "With an updater already running, the first message is handed to it and the demo ends.\n";

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
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const auto value = [&]() -> const std::string & {
            if (i + 1 >= arguments.size())
                throw DemoUsageError{argument + " wants a value"};
            return arguments[++i];
        };
        if (argument == "--variant") {
            options.variant = value();
            if (productIdForVariant(options.variant) == 0)
                throw DemoUsageError{"unknown variant \"" + options.variant + "\""};
        } else if (argument == "--serial") {
            options.serialNumber = value();
        } else if (argument == "--installed") {
            const std::string &what = value();
            if (what == "older")
                options.installed = DemoOptions::Installed::older;
            else if (what == "carried")
                options.installed = DemoOptions::Installed::carried;
            else if (what == "none")
                options.installed = DemoOptions::Installed::none;
            else
                throw DemoUsageError{"--installed wants older, carried or none, not \"" + what + "\""};
        } else if (argument == "--fault") {
            options.fault = value();
            if (!isDemoFault(options.fault))
                throw DemoUsageError{"unknown fault \"" + options.fault + "\""};
        } else if (argument == "--attach-after") {
            options.attachAfter = secondsFrom(argument, value());
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
    return options;
}
