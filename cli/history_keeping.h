#pragma once

// The history that install and verify keep of their work (history/): one
// for the process, opened once the command line has been read and shared by
// every adapter the command works on.

#include <memory>
#include <optional>

#include "cli/options.h"
#include "history/history.h"
#include "update/adapter_history.h"
#include "update/adapter_work.h"

// Where a command's history is: --history, else the default location
// (VANTREL_HISTORY_URL, else the user's own file). Throws UsageError for a
// location that names no store (a malformed URL, a server this build cannot
// reach), and HistoryError when the default location cannot be known.
history::HistoryLocation historyLocationOf(const Options &options);

class HistoryKeeping {
public:
    // Whether and where the command's work is kept: --no-history and a
    // replay (which changes no adapter) keep nothing, a simulated run only
    // in a store that --history names. Throws UsageError as
    // historyLocationOf does; no store is reached yet.
    explicit HistoryKeeping(const Options &options);
    ~HistoryKeeping();
    HistoryKeeping(const HistoryKeeping &) = delete;
    HistoryKeeping &operator=(const HistoryKeeping &) = delete;

    // With --require-history: why no adapter may be begun now (the store
    // cannot take an entry), or nothing.
    std::optional<Failure> refusal();

    // Appends the result's entry and says how that went; nothing when the
    // command keeps no history, or the result is of an adapter passed over.
    // Never throws: a history that fails is said, the work stands.
    std::optional<HistoryKept> keep(const AdapterResult &result);

    // With --require-history: the failure that ends the command because the
    // result did not reach the store, or nothing.
    std::optional<Failure> stopAfter(const AdapterResult &result) const;

private:
    bool keeps() const { return history_ || unavailable_; }

    HistorySource source_;
    bool required_ = false;
    std::unique_ptr<history::History> history_;
    // Why the history cannot be kept at all (no data folder to keep it in).
    std::optional<history::HistoryError> unavailable_;
};
