#pragma once

// The work on an adapter as the history keeps it: the one place where an
// AdapterResult becomes a history::HistoryEntry, for the tool and the window
// alike.

#include <optional>
#include <string>

#include "history/history_entry.h"
#include "update/adapter_work.h"

// Who did the work, and where.
struct HistorySource {
    std::string program;         // "vantrel-flash", "vantrel-update"
    std::string programVersion;  // "1.2.0"
    // The station's name; none: this computer's host name.
    std::optional<std::string> station{};
};

// The entry for a result, made when the work has ended: its time is now.
history::HistoryEntry historyEntryOf(const AdapterResult &result, const HistorySource &source);
