#include "cli/commands.h"

#include "cli/adapter_choice.h"
#include "cli/device_session.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "platform/request_wait.h"
#include "update/attached_adapters.h"

namespace {

// A stop ends a wait for the loader's answer as a failure of its own.
AdapterView viewWatchingForStops(const UsbDeviceInfo &device)
{
    AdapterView view = viewOf(device);
    if (view.failure && stopSignal() != 0)
        view.failure = Failure{ErrorKind::interrupted, "interrupted while reading the adapter"};
    return view;
}

// A command that found no one adapter to work on.
CommandResult noChoice(Command command, AdapterChoice &choice)
{
    CommandResult result = failedCommand(command, *choice.failure, exitNoAdapter);
    result.candidates = std::move(choice.candidates);
    return result;
}

}  // namespace

Work workOf(const Options &options)
{
    if (options.command == Command::verify)
        return Work::verify;
    return options.ifNeeded ? Work::installIfNeeded : Work::install;
}

CommandResult runList(const Options &, Report &)
{
    CommandResult result;
    result.command = Command::list;
    result.started = true;
    for (const UsbDeviceInfo &device : attachedAdapters())
        result.listed.push_back(viewWatchingForStops(device));
    if (result.listed.empty()) {
        result.failure = Failure{ErrorKind::notFound, noAdaptersText};
        result.exitCode = exitNoAdapter;
    }
    return result;
}

CommandResult runInfo(const Options &options, Report &)
{
    AdapterChoice choice = chooseAdapters(options);
    if (choice.failure)
        return noChoice(Command::info, choice);
    CommandResult result;
    result.command = Command::info;
    result.started = true;
    const AdapterView &view = result.listed.emplace_back(viewWatchingForStops(choice.chosen.front()));
    if (!view.entry)
        result.failure = Failure{ErrorKind::unsupported, unsupportedAdapterText};
    else if (view.failure)
        result.failure = view.failure;
    result.exitCode = result.failure ? exitFailure : exitSuccess;
    return result;
}

CommandResult runOnAdapters(const Options &options, Report &report, const DeviceSession &session)
{
    AdapterChoice choice = chooseAdapters(options);
    if (choice.failure)
        return noChoice(options.command, choice);
    CommandResult result;
    result.command = options.command;
    result.started = true;
    for (const UsbDeviceInfo &device : choice.chosen) {
        if (stopSignal() != 0)
            break;  // those not begun are left as they are
        // With --all an unsupported adapter is passed over; asked for by
        // name it is a failure.
        setStopState(StopState::working);
        const platform::ScopedWaitObserver watching(&report);
        AdapterResult &done = result.results.emplace_back(workOn(device, workOf(options), options.all, report));
        setStopState(StopState::idle);
        done.simulatedFlashCrc = session.simulatedFlashCrc(done.device);
        report.adapterDone(done, std::nullopt);
        if (!done.succeeded() && done.outcome != Outcome::skipped) {
            result.exitCode = exitFailure;
            if (!result.failure)
                result.failure = done.failure;
        }
        if (done.outcome == Outcome::interrupted)
            break;
    }
    return result;
}
