#pragma once

// The history of every operation on an adapter: what was installed on which
// adapter, when and where.
//
//   history::History history(history::defaultLocation());
//   history::AppendResult result = history.append(entry);   // stored, or spooled
//   std::vector<history::HistoryEntry> entries = history.query({.serial = "A1B2"});
//
// A location is an SQLite file (the user's own by default) or a PostgreSQL
// database that a line of stations shares. An entry the store cannot take
// (a server out of reach, a file locked beyond the wait, ...) waits in a
// local spool and is sent first, in order and once, by every later append,
// unless the history is required: then the failure is the caller's.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_entry.h"
#include "history/history_error.h"

namespace history {

class HistoryStore;
class Spool;

// What a query keeps; a member left empty keeps every entry.
struct HistoryFilter {
    std::optional<std::string> serial{};  // device text, matched byte for byte
    std::optional<TimePoint> since{};     // at or after
    std::optional<TimePoint> until{};     // before
    std::optional<std::string> outcome{};
    std::optional<std::string> station{};
};

struct HistoryLocation {
    enum class Kind { file, server };
    Kind kind = Kind::file;
    std::filesystem::path file{};
    std::string server{};  // a postgresql:// URL, as given (it may carry a password)
};

// A postgresql:// or postgres:// URL is a server, anything else a file.
// Throws HistoryError (malformedLocation) for an empty text or a URL that
// cannot be parsed.
HistoryLocation parseLocation(std::string_view text);
// Where the history goes when the user names nothing: the location in the
// environment variable VANTREL_HISTORY_URL (so that a server's password need
// not be on a command line), else defaultHistoryFile().
HistoryLocation defaultLocation();
// history.sqlite in the user's data folder: $XDG_DATA_HOME/vantrel-update, or
// ~/.local/share/vantrel-update; %LOCALAPPDATA%\Vantrel Update on Windows.
std::filesystem::path defaultHistoryFile();
// spool.sqlite in the same folder: entries that wait for their store.
std::filesystem::path defaultSpoolFile();
// Whether this build reaches PostgreSQL servers (it has libpq); without,
// a postgresql:// location is HistoryErrorKind::unsupported.
bool serversSupported();

enum class Delivery {
    spoolWhenUnavailable,  // an entry the store cannot take waits in the spool
    required,              // the store must take it, or append throws
};

struct HistoryOptions {
    Delivery delivery = Delivery::spoolWhenUnavailable;
    // Empty: defaultSpoolFile().
    std::filesystem::path spoolFile{};
    // How long an append waits for another program that is writing the file.
    Milliseconds busyTimeout{5000};
};

struct AppendResult {
    // Why the entry went to the spool; nothing when the store has it.
    std::optional<HistoryError> spooledBecause{};
    // Entries for this store that wait in the spool, this one included.
    std::size_t waiting = 0;

    bool spooled() const { return spooledBecause.has_value(); }
};

// A history's store with its spool. Safe to use from several threads; any
// number of processes may use the same store and spool at once.
class History {
public:
    // Opens nothing yet: the store is reached on first use. Throws
    // HistoryError only for a location that names no store.
    explicit History(const HistoryLocation &location, const HistoryOptions &options = {});
    // A store that `open` makes when it is first needed (again after a
    // failure to make it), known in the spool by `identity` and in messages
    // by `description`.
    using StoreOpener = std::function<std::unique_ptr<HistoryStore>()>;
    History(StoreOpener open, std::string identity, std::string description, const HistoryOptions &options);
    ~History();
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    // Sends what waits in the spool, then the entry. Throws HistoryError when
    // the entry can be neither stored nor spooled, and in required delivery
    // when it cannot be stored.
    AppendResult append(const HistoryEntry &entry);
    // The entries the filter keeps, oldest first, after sending what waits.
    // Throws HistoryError when the store cannot answer.
    std::vector<HistoryEntry> query(const HistoryFilter &filter);
    // Sends what waits; returns how many entries went. Throws HistoryError
    // when the store cannot take them (they keep waiting).
    std::size_t drain();
    // Reaches the store, sends what waits and makes sure that it could take
    // an entry now; throws HistoryError when it could not. For a caller that
    // must not begin work whose entry would not reach the store.
    void checkWritable();
    // How many entries wait in the spool for this store.
    std::size_t waiting();
    // The store as messages name it (a server's password left out).
    const std::string &description() const { return description_; }

private:
    HistoryStore &store();
    std::size_t drainLocked();
    // The spool, opened when it exists or `create` asks for it.
    Spool *spool(bool create);

    StoreOpener open_;
    std::string identity_;
    std::string description_;
    HistoryOptions options_;
    std::mutex mutex_;
    std::unique_ptr<HistoryStore> store_;
    std::unique_ptr<Spool> spool_;
};

}  // namespace history
