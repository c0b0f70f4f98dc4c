// vantrel-flash: the updater's command-line twin, for the lab and the
// production line.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/simulation.h"
#include "cli/stop_signal.h"

namespace {

int runCommand(const Options &options, Output &output)
{
    switch (options.command) {
    case Options::Command::list: return runList(options, output);
    case Options::Command::info: return runInfo(options, output);
    default: return options.wait ? runStation(options, output) : runOnAdapters(options, output);
    }
}

int run(const std::vector<std::string> &arguments, Output &output)
{
    Options options;
    std::unique_ptr<Simulation> simulation;
    try {
        options = parseOptions(arguments);
        output.document["command"] = commandName(options.command);
        if (!options.simulate.empty() && options.command != Options::Command::help &&
            options.command != Options::Command::version) {
            simulation = std::make_unique<Simulation>(options.simulate, options.realTime);
            output.simulation = simulation.get();
        }
    } catch (const UsageError &e) {
        noteFailure(output, {ErrorKind::usage, e.message});
        std::fprintf(output.messages(), "vantrel-flash: %s (try vantrel-flash --help)\n", e.message.c_str());
        return exitUsage;
    }
    if (options.command == Options::Command::help) {
        std::fputs(usageText().c_str(), output.json() ? output.messages() : output.results());
        return exitSuccess;
    }
    if (options.command == Options::Command::version) {
        output.document["version"] = productVersion();
        output.document["backend"] = platformBackend();
        if (!output.json())
            std::fprintf(output.results(), "%s\n", versionText().c_str());
        return exitSuccess;
    }
    // Station mode writes a line of JSON for each adapter, and no document.
    output.lines = options.wait;
    return runCommand(options, output);
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    bool json = false;
    for (const std::string &argument : arguments)
        json = json || argument == "--json";
    Output output(json);
    output.document["command"] = nullptr;
    output.document["errorKind"] = nullptr;
    catchStopSignals();
    int exitCode = run(arguments, output);
    if (const int signal = stopSignal()) {
        exitCode = exitCodeAfter(signal);
        // Whatever else went wrong, the stop is why the command ended; the
        // message of what was under way, if any, says what it left behind.
        output.document["errorKind"] = nameOf(ErrorKind::interrupted);
        if (!output.document.contains("message"))
            output.document["message"] = "interrupted";
    }
    if (output.json() && !output.lines) {
        output.document["exitCode"] = exitCode;
        output.writeDocument();
    }
    return exitCode;
}
