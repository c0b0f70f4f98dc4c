#pragma once

// One connection to an SQLite file, as the history and its spool use it:
// WAL, a wait for other writers, every commit on the disk before it returns,
// and each failure as a HistoryError that names the file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/entry_fields.h"

struct sqlite3;
struct sqlite3_stmt;

namespace history {

struct SqliteOptions {
    // How long a write waits for another program's.
    Milliseconds busyTimeout{5000};
    // The most pages the file may grow to: the size it may take on the disk.
    std::optional<std::int64_t> maxPages{};
};

class SqliteConnection;

class SqliteStatement {
public:
    SqliteStatement(SqliteConnection &connection, sqlite3_stmt *statement);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // Binds the values from `first` (1 for the first "?") on.
    void bind(int first, std::span<const Field> values);
    void bind(int index, const Field &value);
    // True while there is a row to read.
    bool step();
    // Ready to run again, with nothing bound.
    void reset();
    Field column(int index);
    // The columns from `first` on, as many as an entry has.
    std::vector<Field> entryFields(int first);
    std::int64_t integer(int index);

private:
    SqliteConnection &connection_;
    sqlite3_stmt *statement_;
};

class SqliteConnection {
public:
    // `role` names the file in messages: "history", "history spool".
    SqliteConnection(const std::filesystem::path &file, std::string role, const SqliteOptions &options);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    void execute(const char *sql);
    SqliteStatement prepare(std::string_view sql);
    // Brings the file's schema to version migrations.size(), running
    // migrations[v] to go from version v to v + 1; refuses a file whose
    // version is later than that.
    void migrate(std::span<const std::string> migrations);

    // A write transaction, taken at once (so that no other writer can come
    // between its reading and its writing), rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(SqliteConnection &connection);
        ~Transaction();
        void commit();

    private:
        SqliteConnection &connection_;
        bool open_ = true;
    };

    // Throws the HistoryError for an SQLite result code.
    [[noreturn]] void fail(int code);

private:
    void turnToWal();
    std::int64_t userVersion();

    std::string file_;
    std::string role_;
    Milliseconds busyTimeout_;
    sqlite3 *db_ = nullptr;
};

}  // namespace history
