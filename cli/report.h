#pragma once

#include <memory>
#include <optional>

#include "cli/command_result.h"
#include "cli/output.h"
#include "cli/progress_display.h"
#include "platform/request_wait.h"
#include "update/adapter_work.h"

// How vantrel-flash shows what its commands do: the progress of the adapter
// under way, each adapter's result as it is done, and the command's result
// at its end. Messages for people (failures, the station's notices) go to
// standard error in every form; what goes to standard output is text for
// people (TextReport) or JSON (JsonReport). Device text is made safe for a
// terminal here and nowhere else.
class Report : public AdapterWorkHost, public platform::WaitObserver {
public:
    // `station`: install --wait, whose JSON is one line per adapter.
    static std::unique_ptr<Report> create(Output &output, bool json, bool station);
    ~Report() override = default;

    // The adapter under way.
    void workBegins(const UsbDeviceInfo &device) override;
    void taskStarted(InstallTask task, int bytes) override { progress_.taskStarted(task, bytes); }
    void taskProgress(int bytesDone) override { progress_.taskProgress(bytesDone); }
    void taskEndedEarly(int bytesDone) override;
    bool stopRequested() override;
    // A wait on the adapter under way that goes on: said once, at once.
    void stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds) override;

    // An adapter is done; a station numbers them.
    virtual void adapterDone(const AdapterResult &result, std::optional<unsigned> sequence);

    // The station's notices. Only people need to be told to change
    // adapters; a line controller that reads JSON knows from each line.
    virtual void stationWaiting() {}
    virtual void stationNext(const UsbDeviceInfo & /*done*/) {}
    struct StationCount {
        unsigned done = 0;
        unsigned failed = 0;
        unsigned interrupted = 0;
    };
    void stationStopped(const StationCount &count);
    // Standard output's reader has gone: said at once, where people see it.
    void readerGone();

    // The command is over: how it ended, whatever ended it.
    virtual void finish(const CommandResult &result);

protected:
    Report(Output &output, bool progressOnMessages) : output_(output), progress_(output, progressOnMessages) {}

    Output &output_;
    ProgressDisplay progress_;
    std::string serial_;  // of the adapter under way, as the terminal shows it
};
