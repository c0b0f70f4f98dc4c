#include "history/sqlite_connection.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "history/history_files.h"

namespace history {

SqliteStatement::SqliteStatement(SqliteConnection &connection, sqlite3_stmt *statement)
    : connection_(connection), statement_(statement)
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement_);
}

void SqliteStatement::bind(int first, std::span<const Field> values)
{
    for (const Field &value : values)
        bind(first++, value);
}

void SqliteStatement::bind(int index, const Field &value)
{
    int code = SQLITE_OK;
    if (const auto *number = std::get_if<std::int64_t>(&value)) {
        code = sqlite3_bind_int64(statement_, index, *number);
    } else if (const auto *text = std::get_if<std::string>(&value)) {
        code = sqlite3_bind_text64(statement_, index, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else if (const auto *blob = std::get_if<Blob>(&value)) {
        // data() is never null, so an empty serial number is an empty blob,
        // not NULL.
        code = sqlite3_bind_blob64(statement_, index, blob->bytes.data(), blob->bytes.size(), SQLITE_TRANSIENT);
    } else {
        code = sqlite3_bind_null(statement_, index);
    }
    if (code != SQLITE_OK)
        connection_.fail(code);
}

bool SqliteStatement::step()
{
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    connection_.fail(code);
}

void SqliteStatement::reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::vector<Field> SqliteStatement::entryFields(int first)
{
    std::vector<Field> fields;
    fields.reserve(entryColumns().size());
    for (std::size_t i = 0; i < entryColumns().size(); ++i)
        fields.push_back(column(first + static_cast<int>(i)));
    return fields;
}

Field SqliteStatement::column(int index)
{
    switch (sqlite3_column_type(statement_, index)) {
    case SQLITE_INTEGER: return std::int64_t{sqlite3_column_int64(statement_, index)};
    case SQLITE_TEXT: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement_, index));
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, index)));
    }
    case SQLITE_BLOB: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement_, index));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, index));
        return Blob{bytes ? std::string(bytes, size) : std::string()};
    }
    case SQLITE_NULL: return Null{};
    default:
        // A floating-point number, which no column of an entry holds.
        return Null{};
    }
}

std::int64_t SqliteStatement::integer(int index)
{
    return sqlite3_column_int64(statement_, index);
}

SqliteConnection::SqliteConnection(const std::filesystem::path &file, std::string role, const SqliteOptions &options)
    : file_(utf8Path(file)), role_(std::move(role)), busyTimeout_(options.busyTimeout)
{
    try {
        const int code = sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (code != SQLITE_OK)
            fail(code);
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout_.count()));
        // A file that cannot be written can still be read: it keeps the
        // journal it has. A writable one turns to WAL (which stays with the
        // file), so that readers and writers do not wait for each other.
        if (!sqlite3_db_readonly(db_, "main"))
            turnToWal();
        // Each entry is on the disk when append returns: a power cut after
        // an install loses no record of it.
        execute("PRAGMA synchronous=FULL");
        if (options.maxPages)
            execute(("PRAGMA max_page_count=" + std::to_string(*options.maxPages)).c_str());
    } catch (...) {
        sqlite3_close_v2(db_);
        throw;
    }
}

void SqliteConnection::turnToWal()
{
    // Turning a file to WAL takes it whole for a moment, and SQLite answers
    // another process that asks meanwhile at once, without its busy
    // handler: processes that make a new file together wait here.
    const auto deadline = std::chrono::steady_clock::now() + busyTimeout_;
    for (;;) {
        const int code = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (code == SQLITE_OK)
            return;
        if ((code & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
            fail(code);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(db_);
}

void SqliteConnection::execute(const char *sql)
{
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(code);
}

SqliteStatement SqliteConnection::prepare(std::string_view sql)
{
    sqlite3_stmt *statement = nullptr;
    const int code = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    if (code != SQLITE_OK)
        fail(code);
    return SqliteStatement(*this, statement);
}

std::int64_t SqliteConnection::userVersion()
{
    SqliteStatement statement = prepare("PRAGMA user_version");
    return statement.step() ? statement.integer(0) : 0;
}

void SqliteConnection::migrate(std::span<const std::string> migrations)
{
    const auto known = static_cast<std::int64_t>(migrations.size());
    auto check = [&](std::int64_t version) {
        if (version > known)
            throw HistoryError(HistoryErrorKind::newerSchema,
                               "the " + role_ + " " + file_ + " was written by a newer version of this program (schema " +
                                   std::to_string(version) + ", this one knows " + std::to_string(known) +
                                   "): use that version, or name another history");
        return version < known;
    };
    // Reading first keeps a current file from taking a writer's lock.
    if (!check(userVersion()))
        return;
    Transaction transaction(*this);
    std::int64_t version = userVersion();
    if (!check(version))
        return;
    for (; version < known; ++version)
        execute(migrations[static_cast<std::size_t>(version)].c_str());
    execute(("PRAGMA user_version=" + std::to_string(known)).c_str());
    transaction.commit();
}

SqliteConnection::Transaction::Transaction(SqliteConnection &connection) : connection_(connection)
{
    connection_.execute("BEGIN IMMEDIATE");
}

SqliteConnection::Transaction::~Transaction()
{
    if (open_)
        sqlite3_exec(connection_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteConnection::Transaction::commit()
{
    connection_.execute("COMMIT");
    open_ = false;
}

void SqliteConnection::fail(int code)
{
    const std::string what = "the " + role_ + " " + file_;
#ifdef _WIN32
    // Windows' own error codes, which are no errno values.
    const int systemError = 0;
#else
    const int systemError = db_ ? sqlite3_system_errno(db_) : 0;
#endif
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw HistoryError(HistoryErrorKind::locked, what + " is locked: another program kept writing it for more than " +
                                                         std::to_string(busyTimeout_.count()) + " ms");
    case SQLITE_READONLY:
        throw HistoryError(HistoryErrorKind::readOnly,
                           what + " cannot be written: the file or its folder is read-only");
    case SQLITE_CANTOPEN:
        if (systemError == EACCES || systemError == EPERM || systemError == EROFS)
            throw HistoryError(HistoryErrorKind::readOnly,
                               what + " cannot be opened for writing: " + std::strerror(systemError));
        throw HistoryError(HistoryErrorKind::failed,
                           what + " cannot be opened: " +
                               (systemError != 0 ? std::strerror(systemError) : sqlite3_errstr(code)));
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        throw HistoryError(HistoryErrorKind::damaged,
                           what + " is damaged (not an SQLite database, or corrupt): move it aside to start a new one");
    case SQLITE_FULL:
        throw HistoryError(HistoryErrorKind::full, what + " cannot grow: the disk is full");
    default:
        if (systemError == ENOSPC)
            throw HistoryError(HistoryErrorKind::full, what + " cannot grow: the disk is full");
        throw HistoryError(HistoryErrorKind::failed,
                           what + ": " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code)));
    }
}

}  // namespace history
