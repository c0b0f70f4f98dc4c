#include "app/window_history.h"

#include <cstdio>

#include "platform/device_text.h"
#include "update/adapter_history.h"

namespace {

// Set and read on the window's thread only: the panel hands installs over
// while the window runs, and the history ends after the window.
WindowHistory *current = nullptr;

void say(const std::string &utf8Line)
{
    std::fprintf(stderr, "vantrel-update: %s\n", platform::terminalFromUtf8(utf8Line).c_str());
}

}  // namespace

WindowHistory::WindowHistory()
{
    try {
        open(history::defaultLocation(), {});
    } catch (const history::HistoryError &e) {
        say(std::string("no history is kept: ") + e.what());
    }
}

WindowHistory::WindowHistory(const history::HistoryLocation &location, const history::HistoryOptions &options)
{
    try {
        open(location, options);
    } catch (const history::HistoryError &e) {
        say(std::string("no history is kept: ") + e.what());
    }
}

void WindowHistory::open(const history::HistoryLocation &location, const history::HistoryOptions &options)
{
    history_ = std::make_unique<history::History>(location, options);
    thread_ = std::thread([this] { appendWhatComes(); });
    current = this;
}

WindowHistory::~WindowHistory()
{
    if (current == this)
        current = nullptr;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    arrived_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void WindowHistory::keep(const AdapterResult &result)
{
    if (!history_)
        return;
    history::HistoryEntry entry = historyEntryOf(result, {"vantrel-update", VANTREL_VERSION});
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(entry));
    }
    arrived_.notify_one();
}

void WindowHistory::appendWhatComes()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        arrived_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;  // ending, with nothing left to append
        const history::HistoryEntry entry = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        // The serial number is device text, the history's lines UTF-8.
        const std::string serial = platform::utf8FromLatin1(entry.serial);
        try {
            const history::AppendResult appended = history_->append(entry);
            if (appended.spooled())
                say("the history entry for " + serial + " waits in the spool: " + appended.spooledBecause->what() +
                    " (" + std::to_string(appended.waiting) + " waiting)");
        } catch (const history::HistoryError &e) {
            say("the history could not keep the install on " + serial + ": " + e.what());
        }
        lock.lock();
    }
}

void keepWindowInstall(const AdapterResult &result)
{
    if (current)
        current->keep(result);
}
