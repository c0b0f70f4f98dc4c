#include "history/history.h"

#include <cstdlib>

#include "history/entry_fields.h"
#include "history/history_files.h"
#include "history/postgres_store.h"
#include "history/spool.h"
#include "history/sqlite_store.h"

namespace history {

namespace {

// Entries sent to the store in one transaction while draining.
constexpr std::size_t drainBatch = 100;

// A failure of the spool itself, apart from one of the store.
struct SpoolFailure {
    HistoryError error;
};

// What names no store at all waits for nothing: a retry cannot fix it.
bool worthWaiting(HistoryErrorKind kind)
{
    return kind != HistoryErrorKind::malformedLocation && kind != HistoryErrorKind::unsupported;
}

// What the user typed: UTF-8 on Windows; bytes, as the system takes them,
// elsewhere.
std::filesystem::path pathFromUtf8(std::string_view text)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    return std::filesystem::path(std::string(text));
#endif
}

bool inDataFolder(const std::filesystem::path &file)
{
    try {
        return file.parent_path() == dataFolder();
    } catch (const HistoryError &) {
        return false;
    }
}

History::StoreOpener fileOpener(const std::filesystem::path &file, const HistoryOptions &options)
{
    return [file, options] {
        // The default file's folder is the program's own, made on first use;
        // a file the user names is where they said, in a folder of theirs.
        if (inDataFolder(file))
            makePrivateFolder(file.parent_path());
        return std::unique_ptr<HistoryStore>(
            std::make_unique<SqliteStore>(file, SqliteOptions{.busyTimeout = options.busyTimeout}));
    };
}

std::string fileIdentity(const std::filesystem::path &file)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(file, error);
    return "file:" + utf8Path(error ? file : absolute);
}

}  // namespace

HistoryLocation parseLocation(std::string_view text)
{
    if (text.empty())
        throw HistoryError(HistoryErrorKind::malformedLocation, "the history's location is empty");
    if (text.starts_with("postgresql://") || text.starts_with("postgres://")) {
        serverIdentity(text);  // throws for a URL that cannot be used
        return {HistoryLocation::Kind::server, {}, std::string(text)};
    }
    if (text.find("://") != std::string_view::npos)
        throw HistoryError(HistoryErrorKind::malformedLocation,
                           "the history's location \"" + std::string(text) +
                               "\" is no file and no postgresql:// URL");
    return {HistoryLocation::Kind::file, pathFromUtf8(text), {}};
}

HistoryLocation defaultLocation()
{
    const char *named = std::getenv("VANTREL_HISTORY_URL");
    if (named && *named)
        return parseLocation(named);
    return {HistoryLocation::Kind::file, defaultHistoryFile(), {}};
}

History::History(const HistoryLocation &location, const HistoryOptions &options)
    : History(location.kind == HistoryLocation::Kind::server ? StoreOpener([url = location.server] {
                  return openServerStore(url);
              })
                                                             : fileOpener(location.file, options),
              location.kind == HistoryLocation::Kind::server ? serverIdentity(location.server)
                                                             : fileIdentity(location.file),
              location.kind == HistoryLocation::Kind::server ? serverIdentity(location.server)
                                                             : utf8Path(location.file),
              options)
{
}

History::History(StoreOpener open, std::string identity, std::string description, const HistoryOptions &options)
    : open_(std::move(open)), identity_(std::move(identity)), description_(std::move(description)), options_(options)
{
}

History::~History() = default;

HistoryStore &History::store()
{
    if (!store_)
        store_ = open_();
    return *store_;
}

Spool *History::spool(bool create)
{
    if (spool_)
        return spool_.get();
    try {
        const std::filesystem::path file = options_.spoolFile.empty() ? defaultSpoolFile() : options_.spoolFile;
        std::error_code error;
        if (!create && !std::filesystem::exists(file, error))
            return nullptr;
        spool_ = std::make_unique<Spool>(file, SqliteOptions{.busyTimeout = options_.busyTimeout});
        return spool_.get();
    } catch (const HistoryError &error) {
        throw SpoolFailure{error};
    }
}

std::size_t History::drainLocked()
{
    Spool *waiting = spool(false);
    std::size_t sent = 0;
    while (waiting) {
        std::vector<Spool::Waiting> batch;
        try {
            batch = waiting->oldest(identity_, drainBatch);
        } catch (const HistoryError &error) {
            throw SpoolFailure{error};
        }
        if (batch.empty())
            break;
        std::vector<HistoryEntry> entries;
        for (Spool::Waiting &item : batch)
            entries.push_back(std::move(item.entry));
        // Should the program end between these two steps, the entries are
        // sent again next time, and the store keeps each id once.
        store().appendAll(entries);
        try {
            waiting->removeThrough(identity_, batch.back().order);
        } catch (const HistoryError &error) {
            throw SpoolFailure{error};
        }
        sent += entries.size();
    }
    return sent;
}

AppendResult History::append(const HistoryEntry &entry)
{
    // An id a server would refuse would hold up everything behind it.
    if (!isEntryId(entry.id))
        throw HistoryError(HistoryErrorKind::failed, "the entry's id \"" + entry.id + "\" is no UUID");
    std::lock_guard lock(mutex_);
    try {
        try {
            drainLocked();
        } catch (const SpoolFailure &) {
            // A spool that cannot be read keeps what it holds; the new entry
            // goes to the store all the same, and waiting() tells.
        }
        store().append(entry);
        AppendResult result;
        try {
            result.waiting = spool_ ? spool_->count(identity_) : 0;
        } catch (const HistoryError &) {
        }
        return result;
    } catch (const HistoryError &error) {
        if (options_.delivery == Delivery::required || !worthWaiting(error.kind()))
            throw;
        try {
            Spool *waiting = spool(true);
            waiting->put(identity_, entry);
            return AppendResult{error, waiting->count(identity_)};
        } catch (const SpoolFailure &failure) {
            throw HistoryError(error.kind(), std::string(error.what()) + "; nor can the entry wait in the spool: " +
                                                 failure.error.what());
        } catch (const HistoryError &spoolError) {
            throw HistoryError(error.kind(), std::string(error.what()) + "; nor can the entry wait in the spool: " +
                                                 spoolError.what());
        }
    }
}

std::vector<HistoryEntry> History::query(const HistoryFilter &filter)
{
    std::lock_guard lock(mutex_);
    try {
        drainLocked();
    } catch (const SpoolFailure &) {
        // What waits stays there; the store answers all the same.
    } catch (const HistoryError &error) {
        // A store that takes no entry now (locked, read-only, full) may still
        // be read: what waits is sent another time. One that cannot be
        // reached or opened would only say so again.
        const HistoryErrorKind kind = error.kind();
        if (kind != HistoryErrorKind::locked && kind != HistoryErrorKind::readOnly && kind != HistoryErrorKind::full)
            throw;
    }
    return store().query(filter);
}

std::size_t History::drain()
{
    std::lock_guard lock(mutex_);
    try {
        return drainLocked();
    } catch (const SpoolFailure &failure) {
        throw failure.error;
    }
}

void History::checkWritable()
{
    std::lock_guard lock(mutex_);
    try {
        drainLocked();
    } catch (const SpoolFailure &) {
        // What waits stays there; whether the store takes entries is the question.
    }
    store().checkWritable();
}

std::size_t History::waiting()
{
    std::lock_guard lock(mutex_);
    try {
        Spool *waiting = spool(false);
        return waiting ? waiting->count(identity_) : 0;
    } catch (const SpoolFailure &failure) {
        throw failure.error;
    }
}

}  // namespace history
