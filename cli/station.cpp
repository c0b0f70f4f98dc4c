// install --wait: the production line's station. Adapters are plugged in one
// after another; each is installed and reported once, and is not taken up
// again until it has been pulled out.

#include <algorithm>
#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/adapter_work.h"
#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/output.h"
#include "cli/stop_signal.h"
#include "platform/device_text.h"
#include "platform/platform.h"

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

int runStation(const Options &options, Output &output, const DeviceSession &session)
{
    std::vector<Seen> done;  // still attached
    unsigned count = 0;
    bool anyFailed = false;
    if (!output.json())
        std::fprintf(output.messages(), "Waiting for an adapter (Ctrl-C ends)...\n");
    // A replayed station runs out where its recording was stopped.
    while (stopSignal() == 0 && !session.replayUsedUp()) {
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
        const AdapterResult result = workOn(*next, workOf(options), false, output);
        nlohmann::json line = jsonOf(result, output);
        line["sequence"] = ++count;
        if (output.json())
            output.writeLine(line);
        printResult(result, output);
        anyFailed = anyFailed || !result.succeeded();
        if (result.interrupted() || (options.count && count == *options.count))
            break;
        done.push_back({next->devicePath, next->serialNumber});
        if (!output.json())
            std::fprintf(output.messages(), "Remove %s and attach the next adapter...\n",
                         platform::terminalFromLatin1(next->serialNumber).c_str());
    }
    // On standard error, out of the way of the JSON lines.
    if (stopSignal() != 0)
        std::fprintf(output.messages(), "Station stopped after %u adapter%s.\n", count, count == 1 ? "" : "s");
    return anyFailed ? exitFailure : exitSuccess;
}
