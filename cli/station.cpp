// install --wait: the production line's station. Adapters are plugged in,
// several at a time; each is taken up the moment it arrives, worked on while
// others are, reported once, and not taken up again until it has been pulled
// out. The system tells the station of arrivals where it can; a look once a
// second is kept for where it cannot.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/commands.h"
#include "cli/concurrent_work.h"
#include "cli/device_session.h"
#include "cli/history_keeping.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "platform/doorbell.h"
#include "update/attached_adapters.h"

namespace {

// As often as the window polls, where nothing tells of arrivals sooner.
constexpr std::uint32_t pollPause = 1000;

// An adapter taken up, as the station tells it from the next one: where it
// is and what it says it is; and the lane of its work.
struct Place {
    std::string devicePath;
    std::string serialNumber;
    unsigned lane = 0;
    bool working = true;

    bool holds(const UsbDeviceInfo &device) const
    {
        return device.devicePath == devicePath && device.serialNumber == serialNumber;
    }
};

class Station {
public:
    Station(const Options &options, Report &report, Output &output, const DeviceSession &session,
            platform::Doorbell &bell, HistoryKeeping &history)
        : options_(options), report_(report), output_(output), session_(session), bell_(bell), history_(history),
          work_(report, workOf(options), false, bell)
    {
    }

    CommandResult run();

private:
    // Whether the station still takes up adapters; says why not once.
    bool takingUp();
    // Pulled out: the next adapter in a place is a new one. New ones are
    // taken up.
    void look();
    void reportEnded();
    bool countReached() const { return options_.count && done_ == *options_.count; }

    const Options &options_;
    Report &report_;
    Output &output_;
    const DeviceSession &session_;
    platform::Doorbell &bell_;
    HistoryKeeping &history_;
    ConcurrentWork work_;
    CommandResult result_;
    std::vector<Place> places_;
    unsigned taken_ = 0;
    unsigned done_ = 0;  // numbers the adapters as they end
    Report::StationCount count_;
    bool readerGone_ = false;
    // The history cannot take what --require-history demands of it.
    bool historyFailed_ = false;
};

bool Station::takingUp()
{
    if (stopSignal() != 0 || readerGone_ || historyFailed_ || (options_.count && taken_ == *options_.count))
        return false;
    // A replayed station runs out where its recording was stopped.
    if (session_.replayUsedUpIn(0))
        return false;
    // Results nobody reads would be lost: no adapter is taken up for them.
    if (output_.readerGone()) {
        readerGone_ = true;
        const Report::Hold hold(report_);
        report_.readerGone();
        result_.exitCode = exitFailure;
        return false;
    }
    return true;
}

void Station::look()
{
    DeviceList attached;
    for (const UsbDeviceInfo &device : attachedAdapters())
        if (isSelected(device, options_))
            attached.push_back(device);
    std::erase_if(places_, [&](const Place &place) {
        const bool gone = !place.working && std::none_of(attached.begin(), attached.end(),
                                                          [&](const UsbDeviceInfo &d) { return place.holds(d); });
        if (gone)
            report_.slotEmptied(place.lane);
        return gone;
    });
    for (const UsbDeviceInfo &device : attached) {
        if (std::any_of(places_.begin(), places_.end(), [&](const Place &place) { return place.holds(device); }))
            continue;
        if (options_.count && taken_ == *options_.count)
            break;
        if (const std::optional<Failure> refusal = history_.refusal()) {
            historyFailed_ = true;
            result_.failure = refusal;
            result_.exitCode = exitHistory;
            // Refused before its first adapter, the station writes its
            // refusal as a command refused at its start does.
            result_.started = taken_ > 0;
            break;
        }
        ++taken_;
        places_.push_back({device.devicePath, device.serialNumber, work_.start({device})});
    }
}

void Station::reportEnded()
{
    for (ConcurrentWork::Ended &ended : work_.takeEnded()) {
        AdapterResult &adapter = ended.result;
        adapter.simulatedFlashCrc = session_.simulatedFlashCrc(adapter.device);
        const auto place = std::find_if(places_.begin(), places_.end(),
                                        [&](const Place &p) { return p.lane == ended.lane; });
        if (place != places_.end())
            place->working = false;
        // Kept on this thread, one result at a time, whichever thread
        // worked on the adapter.
        adapter.history = history_.keep(adapter);
        const Report::Hold hold(report_);
        report_.adapterDone(adapter, ++done_);
        if (adapter.outcome == Outcome::interrupted)
            ++count_.interrupted;
        else if (adapter.succeeded())
            ++count_.done;
        else
            ++count_.failed;
        if (!adapter.succeeded() && result_.exitCode != exitHistory) {
            result_.exitCode = exitFailure;
            if (!result_.failure)
                result_.failure = adapter.failure;
        }
        // The adapters under way are finished and kept; no further one is
        // taken up.
        if (const std::optional<Failure> stop = history_.stopAfter(adapter)) {
            historyFailed_ = true;
            result_.failure = stop;
            result_.exitCode = exitHistory;
        }
        if (!historyFailed_ && !countReached() && adapter.outcome != Outcome::interrupted)
            report_.stationNext(adapter.device);
    }
}

CommandResult Station::run()
{
    result_.command = Command::install;
    result_.started = true;
    // A line that demands its history learns at once that it cannot have it,
    // not once the first adapter is plugged in.
    if (const std::optional<Failure> refusal = history_.refusal()) {
        result_.failure = refusal;
        result_.exitCode = exitHistory;
        result_.started = false;
        return result_;
    }
    {
        const Report::Hold hold(report_);
        report_.stationWaiting();
    }
    // Arrivals ring the bell, as do works that end.
    const std::unique_ptr<platform::DeviceWatch> watch = session_.watchDevices([this] { bell_.ring(); });
    for (;;) {
        reportEnded();
        const bool more = takingUp();
        if (more)
            look();
        else if (work_.underWay() == 0)
            break;
        session_.waitForChange(bell_, pollPause, work_.underWay() > 0);
    }
    reportEnded();
    // Replayed to the end of the recording: a stopped station ends stopped.
    session_.replayUsedUp();
    if (stopSignal() != 0) {
        const Report::Hold hold(report_);
        report_.stationStopped(count_);
    }
    return result_;
}

}  // namespace

CommandResult runStation(const Options &options, Report &report, Output &output, const DeviceSession &session,
                         HistoryKeeping &history)
{
    platform::Clock &clock = platform::clock();
    // The station's waits take their turn with the works' on a virtual
    // clock: an arrival at a moment is seen at that moment.
    platform::SharedTimeThread seat(clock);
    seat.enter();
    platform::Doorbell bell(clock);
    return Station(options, report, output, session, bell, history).run();
}
