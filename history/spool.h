#pragma once

// Entries that wait for their store, in a local SQLite file that any number
// of processes share: each entry under its store's identity, in the order
// they came.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "history/sqlite_connection.h"

namespace history {

class Spool {
public:
    // Makes the file, and its folder, when missing.
    Spool(const std::filesystem::path &file, const SqliteOptions &options);

    void put(const std::string &target, const HistoryEntry &entry);

    struct Waiting {
        std::int64_t order = 0;
        HistoryEntry entry;
    };
    // The first `count` entries that wait for the target, oldest first.
    std::vector<Waiting> oldest(const std::string &target, std::size_t count);
    // Forgets the target's entries up to `order`, once its store has them.
    void removeThrough(const std::string &target, std::int64_t order);
    std::size_t count(const std::string &target);

private:
    SqliteConnection connection_;
};

}  // namespace history
