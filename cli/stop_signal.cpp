#include "cli/stop_signal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t requestedBy = 0;

extern "C" void onStopSignal(int signal)
{
    // Only what a handler may do: note the signal and let the next one take
    // its default course, which ends the program.
    requestedBy = signal;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace

void catchStopSignals()
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

int stopSignal() { return requestedBy; }

int exitCodeAfter(int signal) { return 128 + signal; }
