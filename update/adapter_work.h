#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "discovery/usb_device_info.h"
#include "update/adapter_reading.h"
#include "update/install_engine.h"
#include "update/install_task.h"
#include "update/outcome.h"

// What the command-line tool does to one adapter.
enum class Work {
    install,
    installIfNeeded,  // compare first, write only a flash that differs
    verify,           // compare only
};

// Where a task over the flash ended before its end.
struct TaskStop {
    InstallTask task;
    int done = 0;   // bytes
    int total = 0;  // bytes
};

// What the work left in the adapter's flash.
enum class FlashLeft {
    untouched,      // nothing erased or written
    partlyWritten,  // an erase, write or verify began and did not end well: installing again repairs it
    written,        // the carried image, written and verified
};

const char *nameOf(FlashLeft flash);

// How a program kept an adapter's result in its history (history/).
struct HistoryKept {
    bool stored = false;      // the history's store has the entry
    bool spooled = false;     // it waits in the local spool for the store
    std::size_t waiting = 0;  // entries that wait for the store, this one included
    // Why the store does not have it: the history's own kind ("unreachable",
    // "locked", ...) and its one line, naming the file or the server.
    std::optional<std::string> errorKind;
    std::string message;
};

// How the work on one adapter went: a value that each program renders.
struct AdapterResult {
    UsbDeviceInfo device;
    const FirmwareImage *entry = nullptr;
    Work work = Work::install;
    Outcome outcome = Outcome::failed;
    std::optional<Failure> failure;
    std::optional<InstallTask> task;  // where it failed or was stopped
    std::optional<std::string> before;
    std::optional<std::string> after;
    std::optional<FlashComparison> comparison;
    std::optional<TaskStop> stoppedIn;
    FlashLeft flash = FlashLeft::untouched;
    double seconds = 0;
    // For a simulated adapter: the CRC-32 of what its flash holds over the
    // carried image's range, which the simulator knows and a real adapter
    // never tells.
    std::optional<std::uint32_t> simulatedFlashCrc;
    // None when the program keeps no history of this work.
    std::optional<HistoryKept> history;

    bool succeeded() const { return isSuccess(outcome); }
};

// Where a piece of the flash lies.
struct FlashRange {
    std::uint32_t address;
    std::uint32_t length;
};

// The first piece in which a comparison found the flash to differ.
FlashRange firstDifferingPiece(const FirmwareImage &entry, const FlashComparison &comparison);

// Whoever shows the work as it goes: the install sequence's progress, and
// the moment the adapter has been read and the sequence begins. This one
// shows nothing.
class AdapterWorkHost : public InstallHost {
public:
    // Before anything is asked of the adapter.
    virtual void workBegins(const UsbDeviceInfo & /*device*/) {}
    // The adapter has been read; the install sequence begins.
    virtual void workStarted(const AdapterResult & /*soFar*/) {}
    void taskStarted(InstallTask, int) override {}
    void taskProgress(int) override {}
    // No window: no button to disable, no poll to hold.
    void setInstallEnabled(bool) override {}
    void setPollingEnabled(bool) override {}
    void invalidatePanel() override {}
};

// Does the work on the adapter: reads what is installed, runs the install
// sequence with the passes the work asks for, and after a write finds the
// adapter again and reads its version. An adapter the updater carries no
// firmware for is skipped when `passOverUnsupported`, and fails otherwise.
// An adapter that reboots (into its boot loader, or after an install into
// its new firmware) is looked for again in the tool's prompt steps
// (promptLookAgain). Never throws for a device failure or a stop: the result
// says.
AdapterResult workOn(const UsbDeviceInfo &device, Work work, bool passOverUnsupported, AdapterWorkHost &host);
