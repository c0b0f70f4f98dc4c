// vantrel-flash: the updater's command-line twin, for the lab and the
// production line.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/simulation.h"

namespace {

const char *commandName(Options::Command command)
{
    switch (command) {
    case Options::Command::list: return "list";
    case Options::Command::info: return "info";
    case Options::Command::install: return "install";
    case Options::Command::version: return "version";
    default: return "help";
    }
}

int run(const std::vector<std::string> &arguments, Output &output)
{
    Options options;
    try {
        options = parseOptions(arguments);
    } catch (const UsageError &e) {
        output.document["error"] = "usage";
        output.document["message"] = e.message;
        std::fprintf(stderr, "vantrel-flash: %s\n\n%s", e.message.c_str(), usageText);
        return exitUsage;
    }
    output.document["command"] = commandName(options.command);
    if (options.command == Options::Command::help) {
        std::fputs(usageText, output.json ? stderr : stdout);
        return exitSuccess;
    }
    if (options.command == Options::Command::version) {
        // VANTREL_VERSION and VANTREL_BACKEND come from the build (cli/CMakeLists.txt).
        output.document["version"] = VANTREL_VERSION;
        output.document["backend"] = VANTREL_BACKEND;
        std::fprintf(output.json ? stderr : stdout, "vantrel-flash %s (%s backend)\n", VANTREL_VERSION, VANTREL_BACKEND);
        return exitSuccess;
    }
    std::unique_ptr<Simulation> simulation;
    if (!options.simulate.empty()) {
        simulation = std::make_unique<Simulation>(options.simulate, options.realTime);
        output.simulation = simulation.get();
    }
    switch (options.command) {
    case Options::Command::list: return runList(options, output);
    case Options::Command::info: return runInfo(options, output);
    default: return runInstall(options, output);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    Output output;
    for (const std::string &argument : arguments)
        output.json = output.json || argument == "--json";
    const int exitCode = run(arguments, output);
    if (output.json) {
        output.document["exitCode"] = exitCode;
        std::printf("%s\n", output.document.dump(2).c_str());
    }
    return exitCode;
}
