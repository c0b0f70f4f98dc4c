#include "platform/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace platform {

namespace {

// A hang-up (the terminal or the remote session gone) stops the program as
// Ctrl-C does: an adapter is never left half-written without a word.
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t requestedBy = 0;
const char *noticeText = "";

void handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Calls under way go on: a stop is taken at the next safe point, never
    // by a write or a wait that fails half-way.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

extern "C" void onStopSignal(int signal)
{
    // Only what a handler may do: note the signal, say so with one write,
    // and let the next one take its default course.
    requestedBy = signal;
    const ssize_t written = write(STDERR_FILENO, noticeText, std::strlen(noticeText));
    static_cast<void>(written);  // nothing to be done about a lost notice
    for (const int stop : stopSignals)
        handle(stop, SIG_DFL);
}

}  // namespace

void catchStopRequests(const char *notice)
{
    noticeText = notice;
    for (const int stop : stopSignals)
        handle(stop, onStopSignal);
    // A reader that closed its end of standard output (`| head`) is no
    // request to stop: the install goes on, and the lost output is told at
    // the end, where writes to the pipe have failed.
    handle(SIGPIPE, SIG_IGN);
}

int stopRequest() { return requestedBy; }

}  // namespace platform
