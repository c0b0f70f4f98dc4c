// install --wait: the production line's station. Adapters are plugged in one
// after another; each is installed and reported once, and is not taken up
// again until it has been pulled out.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "platform/request_wait.h"
#include "update/attached_adapters.h"

namespace {

// As often as the window polls.
constexpr std::uint32_t pollPause = 1000;

// An adapter as the station tells it from the next one: where it is and what
// it says it is.
struct Seen {
    std::string devicePath;
    std::string serialNumber;

    bool is(const UsbDeviceInfo &device) const
    {
        return device.devicePath == devicePath && device.serialNumber == serialNumber;
    }
};

}  // namespace

CommandResult runStation(const Options &options, Report &report, Output &output, const DeviceSession &session)
{
    CommandResult result;
    result.command = Command::install;
    result.started = true;
    std::vector<Seen> done;  // still attached
    unsigned sequence = 0;
    Report::StationCount count;
    report.stationWaiting();
    // A replayed station runs out where its recording was stopped.
    while (stopSignal() == 0 && !session.replayUsedUp()) {
        // Results nobody reads would be lost: no adapter is taken up for them.
        if (output.readerGone()) {
            report.readerGone();
            result.exitCode = exitFailure;
            break;
        }
        DeviceList waiting;
        for (const UsbDeviceInfo &device : attachedAdapters())
            if (isSelected(device, options))
                waiting.push_back(device);
        // Pulled out: the next adapter at that place is a new one.
        std::erase_if(done, [&](const Seen &seen) {
            return std::none_of(waiting.begin(), waiting.end(), [&](const UsbDeviceInfo &d) { return seen.is(d); });
        });
        const auto next = std::find_if(waiting.begin(), waiting.end(), [&](const UsbDeviceInfo &device) {
            return std::none_of(done.begin(), done.end(), [&](const Seen &seen) { return seen.is(device); });
        });
        if (next == waiting.end()) {
            session.pauseBetweenPolls(pollPause);
            continue;
        }
        setStopState(StopState::working);
        const platform::ScopedWaitObserver watching(&report);
        AdapterResult adapter = workOn(*next, workOf(options), false, report);
        setStopState(StopState::idle);
        adapter.simulatedFlashCrc = session.simulatedFlashCrc(adapter.device);
        report.adapterDone(adapter, ++sequence);
        if (adapter.outcome == Outcome::interrupted)
            ++count.interrupted;
        else if (adapter.succeeded())
            ++count.done;
        else
            ++count.failed;
        if (!adapter.succeeded()) {
            result.exitCode = exitFailure;
            if (!result.failure)
                result.failure = adapter.failure;
        }
        if (adapter.outcome == Outcome::interrupted || (options.count && sequence == *options.count))
            break;
        done.push_back({next->devicePath, next->serialNumber});
        report.stationNext(*next);
    }
    if (stopSignal() != 0)
        report.stationStopped(count);
    return result;
}
