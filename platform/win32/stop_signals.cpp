#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace platform {

namespace {

std::atomic<const StopNotices *> notices{nullptr};

void say(const char *const (&lines)[3], int signal)
{
    const char *line = lines[stopNoticeIndex(signal)];
    if (!line)
        return;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

// The system calls this on a thread of its own for each console event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    const StopNotices *current = notices.load();
    if (!claimStopRequest(signal)) {
        // The second request: the system's handler ends the program.
        if (current)
            say(current->second, signal);
        return FALSE;
    }
    if (current)
        say(current->first, signal);
    return TRUE;
}

}  // namespace

void catchStopRequests(const StopNotices *stopNotices)
{
    notices = stopNotices;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void setStopNotices(const StopNotices *stopNotices) { notices = stopNotices; }

const char *stopRequestName(int noticeIndex)
{
    return noticeIndex == 0 ? "Ctrl-C" : "Ctrl-Break or the console closing";
}

int stopNoticeIndex(int signal) { return signal == SIGINT ? 0 : 1; }

}  // namespace platform
