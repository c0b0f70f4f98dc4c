#pragma once

// The history in an SQLite file: made (with its schema) on first use,
// brought up to this version's schema when older, refused when newer.

#include <filesystem>
#include <mutex>

#include "history/history_store.h"
#include "history/sqlite_connection.h"

namespace history {

class SqliteStore : public HistoryStore {
public:
    explicit SqliteStore(const std::filesystem::path &file, const SqliteOptions &options = {});

    void append(const HistoryEntry &entry) override;
    void appendAll(const std::vector<HistoryEntry> &entries) override;
    std::vector<HistoryEntry> query(const HistoryFilter &filter) override;
    void checkWritable() override;

private:
    std::mutex mutex_;
    SqliteConnection connection_;
};

// The schema this version writes, as user_version.
int sqliteSchemaVersion();

}  // namespace history
