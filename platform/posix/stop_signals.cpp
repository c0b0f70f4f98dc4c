#include "platform/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace platform {

namespace {

// A hang-up (the terminal or the remote session gone) stops the program as
// Ctrl-C does: an adapter is never left half-written without a word.
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<const StopNotices *> notices{nullptr};

void handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Calls under way go on: the program's waits look at the request
    // themselves, and no write fails half-way.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void say(const char *const (&lines)[3], int signal)
{
    const char *line = lines[stopNoticeIndex(signal)];
    if (!line)
        return;
    const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
    static_cast<void>(written);  // nothing to be done about a lost notice
}

extern "C" void onStopSignal(int signal)
{
    // Only what a handler may do: note the signal and say so with one
    // write; a second one says so and ends the program as if nothing had
    // caught it.
    const StopNotices *current = notices.load();
    if (claimStopRequest(signal)) {
        if (current)
            say(current->first, signal);
        return;
    }
    if (current)
        say(current->second, signal);
    handle(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

void catchStopRequests(const StopNotices *stopNotices)
{
    notices = stopNotices;
    for (const int stop : stopSignals)
        handle(stop, onStopSignal);
    // A reader that closed its end of standard output (`| head`) is no
    // request to stop: the program finds the lost output where its writes
    // to the pipe fail.
    handle(SIGPIPE, SIG_IGN);
}

void setStopNotices(const StopNotices *stopNotices) { notices = stopNotices; }

const char *stopRequestName(int noticeIndex)
{
    constexpr const char *names[] = {"Ctrl-C (SIGINT)", "SIGTERM", "SIGHUP (the terminal or session went away)"};
    return names[noticeIndex];
}

int stopNoticeIndex(int signal) { return signal == SIGINT ? 0 : signal == SIGHUP ? 2 : 1; }

}  // namespace platform
