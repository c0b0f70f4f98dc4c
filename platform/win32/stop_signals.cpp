#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace platform {

namespace {

std::atomic<int> requestedBy{0};
const char *noticeText = "";

// The system calls this on a thread of its own for each console event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    int expected = 0;
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (!requestedBy.compare_exchange_strong(expected, signal))
        return FALSE;  // the second request: the system's handler ends the program
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), noticeText, static_cast<DWORD>(std::strlen(noticeText)), &written,
              nullptr);
    return TRUE;
}

}  // namespace

void catchStopRequests(const char *notice)
{
    noticeText = notice;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int stopRequest() { return requestedBy.load(); }

}  // namespace platform
