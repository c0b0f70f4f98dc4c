#include "cli/commands.h"

#include <algorithm>
#include <map>

#include "cli/adapter_choice.h"
#include "cli/concurrent_work.h"
#include "cli/device_session.h"
#include "cli/history_keeping.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "platform/doorbell.h"
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

namespace {

constexpr std::uint32_t oneSecond = 1000;

// What the command does with each adapter's result as it ends: the
// history's entry first (on the command's thread, one at a time, whatever
// thread did the work), then the report.
void adapterEnded(AdapterResult &done, Report &report, const DeviceSession &session, HistoryKeeping &history)
{
    done.simulatedFlashCrc = session.simulatedFlashCrc(done.device);
    done.history = history.keep(done);
    const Report::Hold hold(report);
    report.adapterDone(done, std::nullopt);
}

// The one adapter chosen, on the command's own thread.
AdapterResult workOnTheOne(const UsbDeviceInfo &device, const Options &options, Report &report,
                           const DeviceSession &session, HistoryKeeping &history)
{
    setStopState(StopState::working);
    AdapterResult done;
    {
        const platform::ScopedWaitObserver watching(&report);
        done = workOn(device, workOf(options), false, report);
    }
    setStopState(StopState::idle);
    adapterEnded(done, report, session, history);
    return done;
}

// Every adapter chosen, all at once, each reported as it ends; the results
// in the order they were chosen. Adapters that cannot be told apart by their
// place are worked on one after the other.
std::vector<AdapterResult> workOnAll(const DeviceList &chosen, const Options &options, Report &report,
                                     const DeviceSession &session, HistoryKeeping &history)
{
    std::map<std::string, std::vector<std::size_t>> byPlace;
    std::vector<std::string> places;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        std::vector<std::size_t> &same = byPlace[chosen[i].devicePath];
        if (same.empty())
            places.push_back(chosen[i].devicePath);
        same.push_back(i);
    }
    std::vector<AdapterResult> results(chosen.size());
    std::map<unsigned, std::vector<std::size_t>> ofLane;  // the places in `chosen` still to end, in order
    platform::Doorbell bell(platform::clock());
    // An unsupported adapter is passed over.
    ConcurrentWork work(report, workOf(options), true, bell);
    {
        // On a virtual clock, the lanes begin together: while this thread
        // starts them it holds the time back, so that the first lane cannot
        // run ahead before the last is counted.
        platform::SharedTimeThread starting(platform::clock());
        starting.enter();
        for (const std::string &place : places) {
            DeviceList adapters;
            for (const std::size_t i : byPlace[place])
                adapters.push_back(chosen[i]);
            ofLane[work.start(std::move(adapters))] = byPlace[place];
        }
    }
    // This thread takes no part in the works' time: it waits for them in
    // real time, woken as each ends.
    for (bool more = true; more;) {
        more = work.underWay() > 0;
        for (ConcurrentWork::Ended &ended : work.takeEnded()) {
            std::vector<std::size_t> &left = ofLane[ended.lane];
            AdapterResult &done = results[left.front()];
            left.erase(left.begin());
            done = std::move(ended.result);
            adapterEnded(done, report, session, history);
        }
        if (more)
            bell.waitInRealTime(oneSecond);
    }
    return results;
}

}  // namespace

CommandResult runOnAdapters(const Options &options, Report &report, const DeviceSession &session,
                            HistoryKeeping &history)
{
    AdapterChoice choice = chooseAdapters(options);
    if (choice.failure)
        return noChoice(options.command, choice);
    CommandResult result;
    result.command = options.command;
    result.started = true;
    // A command that must keep its results begins no adapter while the
    // history cannot take them.
    if (const std::optional<Failure> refusal = history.refusal()) {
        result.failure = refusal;
        result.exitCode = exitHistory;
        return result;
    }
    // Asked for by name, an unsupported adapter is a failure.
    result.results =
        options.all ? workOnAll(choice.chosen, options, report, session, history)
                    : std::vector<AdapterResult>{workOnTheOne(choice.chosen.front(), options, report, session, history)};
    for (const AdapterResult &done : result.results) {
        if (!done.succeeded() && done.outcome != Outcome::skipped) {
            result.exitCode = exitFailure;
            if (!result.failure)
                result.failure = done.failure;
        }
    }
    // With --all every adapter was begun at once; a result the history did
    // not store still ends the command as the history's failure.
    for (const AdapterResult &done : result.results) {
        if (const std::optional<Failure> stop = history.stopAfter(done)) {
            result.failure = stop;
            result.exitCode = exitHistory;
            break;
        }
    }
    return result;
}
