#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history.h"
#include "simulation/simulated_adapter.h"

// Process exit codes of vantrel-flash; a stop by a signal exits with
// exitCodeAfter(signal) (cli/stop_signal.h).
enum ExitCode : int {
    exitSuccess = 0,
    exitFailure = 1,     // an install or device failure, or a flash that differs
    exitUsage = 2,       // the command line is wrong
    exitNoAdapter = 3,   // no adapter, or no unambiguous choice of one
    exitHistory = 4,     // the history cannot be read, or cannot keep what --require-history demands
};

enum class Command { list, info, install, verify, history, help, version };

struct Options {
    Command command = Command::help;
    std::optional<std::string> serialNumber;
    std::optional<std::string> port;
    bool all = false;
    bool ifNeeded = false;  // install: compare first, write only a flash that differs
    bool wait = false;      // install: station mode
    std::optional<unsigned> count;  // station mode: end after this many adapters
    bool json = false;
    bool realTime = false;  // simulated adapters and replays take real time
    std::optional<std::uint32_t> timeoutMilliseconds;  // the link's time-out, --timeout
    std::vector<simulation::SimulatedAdapterSetup> simulate;
    // Recorded device sessions (docs/recordings.md).
    std::optional<std::string> recordFile;  // --record FILE
    bool anonymise = false;                 // with --record
    std::optional<std::string> replayFile;  // --replay FILE
    // The history (history/): where it is kept, whether at all, whether a
    // station must stop when it cannot be, and the station's name.
    std::optional<history::HistoryLocation> historyLocation;  // --history PATH|URL
    bool noHistory = false;
    bool requireHistory = false;
    std::optional<std::string> station;  // install and verify name it; history looks for it
    // The history command's query (with --serial and --station), and its
    // form for a spreadsheet.
    std::optional<history::TimePoint> since;
    std::optional<history::TimePoint> until;
    std::optional<std::string> outcome;
    bool csv = false;
    // The command as a recording names it, and a replay must repeat it: the
    // command and the options that decide what is done to which adapters,
    // in one order whatever the order typed, without those that only choose
    // where the adapters come from or how the results are shown. The
    // exchanges with the adapters are the same with and without them.
    std::vector<std::string> commandWords;
};

struct UsageError {
    std::string message;
};

// Throws UsageError, with one line that says what is wrong, for anything
// it does not understand or that changes nothing for the command.
Options parseOptions(const std::vector<std::string> &arguments);

// The product's version ("1.2.0") and the platform backend built in
// ("libusb", "Win32", "virtual-only"), and both as --version says them:
// "vantrel-flash 1.2.0 (libusb backend)".
const char *productVersion();
const char *platformBackend();
std::string versionText();
