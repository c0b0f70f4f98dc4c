// vantrel-flash: the updater's command-line twin, for the lab and the
// production line.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/help_text.h"
#include "cli/history_command.h"
#include "cli/history_keeping.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "platform/console.h"
#include "update/adapter_link.h"

namespace {

// What the command line asks for before it is understood: where the
// results go, in which form, should it be refused.
struct Form {
    bool json = false;
    bool station = false;
    bool csv = false;
};

Form formOf(const std::vector<std::string> &arguments)
{
    Form form;
    for (const std::string &argument : arguments) {
        if (argument == "--")
            break;
        form.json = form.json || argument == "--json";
        form.station = form.station || argument == "--wait";
        form.csv = form.csv || argument == "--csv";
    }
    return form;
}

CommandResult runCommand(const Options &options, Report &report, Output &output, const DeviceSession &session,
                         HistoryKeeping &history)
{
    switch (options.command) {
    case Command::list: return runList(options, report);
    case Command::info: return runInfo(options, report);
    default:
        return options.wait ? runStation(options, report, output, session, history)
                            : runOnAdapters(options, report, session, history);
    }
}

// Help and the version, which need no adapters. Their text into a closed
// pipe (`| head -1`) is no failure: the reader had what it wanted.
CommandResult tellAbout(const Options &options, Output &output)
{
    CommandResult result;
    result.command = options.command;
    if (options.command == Command::help && options.json)
        std::fputs(usageText().c_str(), output.messages());
    else if (options.command == Command::help)
        output.writeResults(usageText());
    else if (!options.json)
        output.writeResults(versionText() + "\n");
    return result;
}

CommandResult run(const std::vector<std::string> &arguments, Output &output, Report &report)
{
    Options options;
    try {
        options = parseOptions(arguments);
    } catch (const UsageError &e) {
        return failedCommand(std::nullopt, {ErrorKind::usage, e.message}, exitUsage);
    }
    if (options.command == Command::help || options.command == Command::version)
        return tellAbout(options, output);
    if (options.command == Command::history)
        return runHistory(options);
    // One history for the process, before any adapter is touched: a store
    // that cannot be is a mistake on the command line.
    std::optional<HistoryKeeping> history;
    try {
        history.emplace(options);
    } catch (const UsageError &e) {
        return failedCommand(options.command, {ErrorKind::usage, e.message}, exitUsage);
    }
    if (options.timeoutMilliseconds)
        setLinkTimeout(static_cast<std::int32_t>(*options.timeoutMilliseconds));
    std::optional<DeviceSession> session;
    try {
        session.emplace(options);
    } catch (const UsageError &e) {
        return failedCommand(options.command, {ErrorKind::usage, e.message}, exitUsage);
    } catch (const Failure &failure) {
        // A recording that cannot be used: like a wrong command line, nothing ran.
        return failedCommand(options.command, failure, exitUsage);
    }
    CommandResult result = runCommand(options, report, output, *session, *history);
    if (const std::optional<Failure> failure = session->finish(stopSignal() != 0)) {
        result.failure = failure;
        result.exitCode = exitFailure;
    }
    return result;
}

}  // namespace

int main(int argc, char **argv)
{
    // Before any file is opened: none may take a closed standard stream's place.
    platform::keepStandardStreamsOpen();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const Form form = formOf(arguments);
    Output output;
    const std::unique_ptr<Report> report = Report::create(output, form.json, form.station, form.csv);
    catchStopSignals();
    CommandResult result = run(arguments, output, *report);
    if (const int signal = stopSignal()) {
        // Whatever else went wrong, the stop is why the command ended; the
        // message of what was under way, if any, says what it left behind.
        result.exitCode = exitCodeAfter(signal);
        const std::string message = result.failure && !result.failure->message.empty() ? result.failure->message
                                                                                         : "interrupted";
        result.failure = Failure{ErrorKind::interrupted, message};
    }
    report->finish(result);
    // Results that never arrived are no success, or a script would read
    // nothing as everything being fine; but help and the version into a
    // closed pipe (`| head -1`) gave the reader what it wanted.
    const Output::Delivery delivery = output.deliverResults();
    const bool toldAbout = result.command == Command::help || result.command == Command::version;
    if (delivery != Output::Delivery::written && !(toldAbout && delivery == Output::Delivery::readerGone)) {
        std::fprintf(stderr, "vantrel-flash: the results could not be written to standard output\n");
        if (result.exitCode == exitSuccess)
            result.exitCode = exitFailure;
    }
    return result.exitCode;
}
