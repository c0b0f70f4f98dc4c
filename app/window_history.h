#pragma once

// Every install from the window's panel, kept silently in the history
// (history/): appended on a thread of its own, so that the window never
// waits for a file or a server, with a failure said on standard error and
// nowhere else. Nothing the window shows changes.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "history/history.h"
#include "update/adapter_work.h"

class WindowHistory {
public:
    // The user's history: VANTREL_HISTORY_URL, else the file in the user's
    // data folder.
    WindowHistory();
    WindowHistory(const history::HistoryLocation &location, const history::HistoryOptions &options);
    // Waits for the entries still on their way; the window has closed.
    ~WindowHistory();
    WindowHistory(const WindowHistory &) = delete;
    WindowHistory &operator=(const WindowHistory &) = delete;

    // Makes the result's entry and hands it to the thread.
    void keep(const AdapterResult &result);

private:
    void open(const history::HistoryLocation &location, const history::HistoryOptions &options);
    void appendWhatComes();

    std::unique_ptr<history::History> history_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<history::HistoryEntry> waiting_;
    bool ending_ = false;
    std::thread thread_;
};

// Hands an install from the panel to the process's window history, while
// one exists: the product makes one, the demo (whose adapters are
// simulated) and the tests of the window do not.
void keepWindowInstall(const AdapterResult &result);
