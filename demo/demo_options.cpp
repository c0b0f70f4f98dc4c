#include "demo/demo_options.h"

#include <charconv>

#include "commandline/command_line_reader.h"
#include "simulation/simulated_faults.h"
#include "update/variant.h"

namespace {

int secondsFrom(const std::string &option, const std::string &text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 3600)
        throw DemoUsageError{option + " wants a number of seconds from 0 to 3600, not \"" + text + "\""};
    return value;
}

// Every option of the demo, declared once: its syntax, its help, what it
// does, and whether it shapes the simulated adapter (which a replay has not).
struct DemoOptionInfo {
    OptionSyntax syntax;
    const char *valueName;
    bool shapesAdapter;
    std::string (*help)();
    void (*apply)(DemoOptions &options, const std::string &value);
};

const std::vector<DemoOptionInfo> &demoOptionTable()
{
    static const std::vector<DemoOptionInfo> table = {
        {{"--variant", nullptr, true, false}, "NAME", true,
         [] { return carriedVariants().toolNames() + " (default max)"; },
         [](DemoOptions &o, const std::string &name) {
             const Variant *variant = carriedVariants().byToolName(name);
             if (!variant)
                 throw DemoUsageError{"unknown variant \"" + name + "\""};
             o.adapter.productId = variant->productId;
         }},
        {{"--serial", nullptr, true, false}, "TEXT", true,
         [] { return std::string("the adapter's serial number (default 04020001)"); },
         [](DemoOptions &o, const std::string &text) { o.adapter.serialNumber = text; }},
        {{"--installed", nullptr, true, false}, "WHAT", true,
         [] { return std::string("the firmware on the adapter: older (default), carried or none"); },
         [](DemoOptions &o, const std::string &what) {
             if (what == "older")
                 o.adapter.firmware = simulation::SimulatedFirmware::older;
             else if (what == "carried")
                 o.adapter.firmware = simulation::SimulatedFirmware::carried;
             else if (what == "none")
                 o.adapter.firmware = simulation::SimulatedFirmware::none;
             else
                 throw DemoUsageError{"--installed wants older, carried or none, not \"" + what + "\""};
         }},
        {{"--fault", nullptr, true, false}, "NAME", true,
         [] { return "a failure to inject: " + simulation::simulatedFaultNames(); },
         [](DemoOptions &o, const std::string &name) {
             o.adapter.fault = simulation::simulatedFaultNamed(name);
             if (!o.adapter.fault)
                 throw DemoUsageError{"unknown fault \"" + name + "\""};
         }},
        {{"--attach-after", nullptr, true, false}, "N", true,
         [] { return std::string("plug the adapter in N seconds after the start (default 0)"); },
         [](DemoOptions &o, const std::string &text) { o.attachAfter = secondsFrom("--attach-after", text); }},
        {{"--replay", nullptr, true, false}, "FILE", false,
         [] {
             return std::string("no simulated adapter: the devices of a recorded session (docs/recordings.md), as "
                                "fast as they were recorded");
         },
         [](DemoOptions &o, const std::string &file) { o.replayFile = file; }},
        {{"--auto-install", nullptr, false, false}, nullptr, false,
         [] {
             return std::string("click Install Firmware once the adapter is ready, print what the window shows, "
                                "and close the window when the install is over; the demo then ends with 0 when "
                                "the install finished, else 1");
         },
         [](DemoOptions &o, const std::string &) { o.autoInstall = true; }},
        {{"--screenshots", nullptr, true, false}, "DIR", false,
         [] { return std::string("with --auto-install: save PNG pictures of the window in DIR"); },
         [](DemoOptions &o, const std::string &folder) { o.screenshotFolder = folder; }},
        {{"--help", "-h", false, false}, nullptr, false, [] { return std::string("this text"); },
         [](DemoOptions &o, const std::string &) { o.help = true; }},
    };
    return table;
}

}  // namespace

std::string demoUsage()
{
    std::string options;
    for (const DemoOptionInfo &info : demoOptionTable()) {
        std::string name = info.syntax.shortName ? std::string(info.syntax.shortName) + ", " : std::string();
        name += info.syntax.name;
        if (info.valueName)
            name += std::string(" ") + info.valueName;
        options += helpEntry(name, info.help(), 22);
    }
    return "Usage: vantrel-update-demo [options] [message]\n"
           "\n"
           "The updater's window on a simulated adapter that takes as long as a real one.\n"
           "\n" +
           options +
           "\n"
           "With an updater already running, the first message is handed to it and the demo ends.\n";
}

bool asksForHelp(const std::vector<std::string> &arguments)
{
    for (const std::string &argument : arguments) {
        if (argument == "--")
            return false;
        if (argument == "--help" || argument == "-h")
            return true;
    }
    return false;
}

DemoOptions parseDemoOptions(const std::vector<std::string> &arguments)
{
    const std::vector<DemoOptionInfo> &table = demoOptionTable();
    std::vector<OptionSyntax> syntax;
    for (const DemoOptionInfo &info : table)
        syntax.push_back(info.syntax);
    ReadCommandLine read;
    try {
        read = readCommandLine(arguments, syntax);
    } catch (const CommandLineError &e) {
        throw DemoUsageError{e.message};
    }
    DemoOptions options;
    const char *adapterOption = nullptr;  // one that shapes the simulated adapter
    for (const auto &[index, values] : read.given) {
        if (table[index].shapesAdapter)
            adapterOption = table[index].syntax.name;
        for (const std::string &value : values)
            table[index].apply(options, value);
    }
    options.arguments = read.words;
    if (options.help)
        return options;
    if (!options.screenshotFolder.empty() && !options.autoInstall)
        throw DemoUsageError{"--screenshots needs --auto-install"};
    if (!options.replayFile.empty() && adapterOption)
        throw DemoUsageError{std::string(adapterOption) + " shapes a simulated adapter, and --replay has none"};
    return options;
}
