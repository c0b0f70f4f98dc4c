#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "cli/command_result.h"
#include "cli/output.h"
#include "cli/progress_display.h"
#include "cli/slot_board.h"
#include "platform/request_wait.h"
#include "update/adapter_work.h"

// How vantrel-flash shows what its commands do: the progress of the adapter
// under way, each adapter's result as it is done, and the command's result
// at its end. Messages for people (failures, the station's notices) go to
// standard error in every form; what goes to standard output is text for
// people (TextReport) or JSON (JsonReport). Device text is made safe for a
// terminal here and nowhere else.
//
// Adapters worked on at once each have a slot (Report::Slot) that shows
// their progress: on a terminal as their line on a board of slots written
// over in place, elsewhere as lines that begin with their serial number.
// Their threads and the command's take turns through hold().
class Report : public AdapterWorkHost, public platform::WaitObserver {
public:
    // `station`: install --wait, whose JSON is one line per adapter; `csv`:
    // history's entries for a spreadsheet.
    static std::unique_ptr<Report> create(Output &output, bool json, bool station, bool csv = false);
    ~Report() override;

    // The adapter under way, when one adapter is worked on at a time.
    void workBegins(const UsbDeviceInfo &device) override;
    void taskStarted(InstallTask task, int bytes) override { progress_.taskStarted(task, bytes); }
    void taskProgress(int bytesDone) override { progress_.taskProgress(bytesDone); }
    void taskEndedEarly(int bytesDone) override;
    bool stopRequested() override;
    // A wait on the adapter under way that goes on: said once, at once.
    void stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds) override;

    // The host of the work on one adapter among several at once, in a thread
    // of its own; `slot` tells it from the others (its lane).
    class Slot;
    std::unique_ptr<Slot> slotFor(unsigned slot, const UsbDeviceInfo &device);
    // The adapter of the slot has been pulled out: its line goes.
    void slotEmptied(unsigned slot);

    // Whoever calls the report while adapters are worked on at once holds
    // it for the call: one thread's lines never break into another's, and
    // a board of slots lifted for other text is drawn again after it.
    class Hold {
    public:
        explicit Hold(Report &report);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        Report &report_;
    };

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
    Report(Output &output, bool progressOnMessages, bool station)
        : output_(output), progressOnMessages_(progressOnMessages), station_(station),
          progress_(output, progressOnMessages)
    {
    }

    // Says that the adapter has not answered for a while.
    void tellStillWaiting(const std::string &serial, std::uint32_t waitedMilliseconds,
                          std::uint32_t leftMilliseconds);
    // Whether several adapters are being, or have been, worked on at once:
    // each line about one then names it.
    bool severalAtOnce() const { return severalAtOnce_; }

    Output &output_;
    bool progressOnMessages_;
    bool station_;
    ProgressDisplay progress_;
    std::string serial_;  // of the adapter under way, as the terminal shows it

private:
    std::recursive_mutex mutex_;
    int holds_ = 0;  // of the thread that holds mutex_
    bool severalAtOnce_ = false;
    // On a terminal that can be written over, once adapters are worked on at once.
    std::unique_ptr<SlotBoard> board_;

    // On standard error: why the adapter's work failed, and an entry the
    // history's store did not take.
    void tellFailure(const AdapterResult &result);
    void tellHistory(const AdapterResult &result);
};

class Report::Slot : public AdapterWorkHost, public platform::WaitObserver {
public:
    Slot(Report &report, unsigned slot, const UsbDeviceInfo &device, SlotBoard *board);

    void workStarted(const AdapterResult &soFar) override;
    void taskStarted(InstallTask task, int bytes) override;
    void taskProgress(int bytesDone) override;
    void taskEndedEarly(int bytesDone) override;
    bool stopRequested() override;
    void stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds) override;

    // The work has ended: the slot's line says how, until the adapter goes.
    void ended(const AdapterResult &result);

private:
    Report &report_;
    unsigned slot_;
    std::string serial_;  // as the terminal shows it
    SlotBoard *board_;
    ProgressDisplay progress_;
};
