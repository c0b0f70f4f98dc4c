// vantrel-flash: the updater's command-line twin, for the lab and the
// production line.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/stop_signal.h"
#include "platform/device_text.h"

namespace {

int runCommand(const Options &options, Output &output, const DeviceSession &session)
{
    switch (options.command) {
    case Options::Command::list: return runList(options, output);
    case Options::Command::info: return runInfo(options, output);
    default: return options.wait ? runStation(options, output, session) : runOnAdapters(options, output);
    }
}

int usageFailure(Output &output, const std::string &message)
{
    noteFailure(output, {ErrorKind::usage, message});
    std::fprintf(output.messages(), "vantrel-flash: %s (try vantrel-flash --help)\n",
                 platform::terminalFromUtf8(message).c_str());
    return exitUsage;
}

// A failure of the command's recording or replay rather than of an adapter.
void reportSessionFailure(Output &output, const Failure &failure)
{
    noteFailure(output, failure);
    std::fprintf(output.messages(), "vantrel-flash: %s\n", platform::terminalFromUtf8(failure.message).c_str());
}

int run(const std::vector<std::string> &arguments, Output &output)
{
    Options options;
    try {
        options = parseOptions(arguments);
        output.document["command"] = commandName(options.command);
    } catch (const UsageError &e) {
        return usageFailure(output, e.message);
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
    std::optional<DeviceSession> session;
    try {
        session.emplace(options);
    } catch (const UsageError &e) {
        return usageFailure(output, e.message);
    } catch (const Failure &failure) {
        // A recording that cannot be used: like a wrong command line, nothing ran.
        reportSessionFailure(output, failure);
        return exitUsage;
    }
    output.simulation = session->simulation();
    // Station mode writes a line of JSON for each adapter, and no document.
    output.lines = options.wait;
    int exitCode = runCommand(options, output, *session);
    if (const std::optional<Failure> failure = session->finish(stopSignal() != 0)) {
        reportSessionFailure(output, *failure);
        exitCode = exitFailure;
    }
    output.simulation = nullptr;
    return exitCode;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    bool json = false, station = false;
    for (const std::string &argument : arguments) {
        json = json || argument == "--json";
        station = station || argument == "--wait";
    }
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
        output.writeDocument(station);
    }
    // Results that never arrived are no success, or a script would read
    // nothing as everything being fine.
    if (!output.resultsWritten()) {
        std::fprintf(stderr, "vantrel-flash: the results could not be written to standard output\n");
        if (exitCode == exitSuccess)
            exitCode = exitFailure;
    }
    return exitCode;
}
