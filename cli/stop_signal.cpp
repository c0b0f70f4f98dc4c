#include "cli/stop_signal.h"

#include "platform/stop_signals.h"

namespace {

// Said at the first signal, while whatever is under way may still wait on
// the adapter for a while.
constexpr const char *stopNotice =
    "vantrel-flash: stopping (after the loader command under way, if any); a second Ctrl-C or SIGTERM ends it at once\n";

}  // namespace

void catchStopSignals() { platform::catchStopRequests(stopNotice); }

int stopSignal() { return platform::stopRequest(); }

int exitCodeAfter(int signal) { return 128 + signal; }
