#include "history/sqlite_store.h"

#include <array>

namespace history {

namespace {

// Each step takes the file from one schema version to the next; a step, once
// released, never changes: files in the field were made by it.
const std::array<std::string, 1> migrations{
    // 1: the first history.
    "CREATE TABLE history (seq INTEGER PRIMARY KEY, " + sqliteEntryColumnsV1(true) +
        ");"
        "CREATE INDEX history_serial ON history (serial);"
        "CREATE INDEX history_time ON history (recorded_at);",
};

std::string insertStatement()
{
    std::string placeholders;
    for (std::size_t i = 0; i < entryColumns().size(); ++i)
        placeholders += i == 0 ? "?" : ", ?";
    return "INSERT INTO history (" + entryColumnList() + ") VALUES (" + placeholders +
           ") ON CONFLICT (entry_id) DO NOTHING";
}

}  // namespace

int sqliteSchemaVersion()
{
    return static_cast<int>(migrations.size());
}

SqliteStore::SqliteStore(const std::filesystem::path &file, const SqliteOptions &options)
    : connection_(file, "history", options)
{
    connection_.migrate(migrations);
}

void SqliteStore::append(const HistoryEntry &entry)
{
    appendAll({entry});
}

void SqliteStore::appendAll(const std::vector<HistoryEntry> &entries)
{
    std::lock_guard lock(mutex_);
    SqliteConnection::Transaction transaction(connection_);
    SqliteStatement insert = connection_.prepare(insertStatement());
    for (const HistoryEntry &entry : entries) {
        insert.bind(1, fieldsOf(entry));
        insert.step();
        insert.reset();
    }
    transaction.commit();
}

void SqliteStore::checkWritable()
{
    std::lock_guard lock(mutex_);
    // The write lock taken and given back: what a locked or read-only file
    // refuses first.
    SqliteConnection::Transaction transaction(connection_);
}

std::vector<HistoryEntry> SqliteStore::query(const HistoryFilter &filter)
{
    std::lock_guard lock(mutex_);
    const std::vector<Condition> conditions = conditionsOf(filter);
    std::string sql = "SELECT " + entryColumnList() + " FROM history";
    for (std::size_t i = 0; i < conditions.size(); ++i)
        sql += std::string(i == 0 ? " WHERE " : " AND ") + conditions[i].column + " " + conditions[i].operation + " ?";
    sql += " ORDER BY recorded_at, seq";
    SqliteStatement select = connection_.prepare(sql);
    for (std::size_t i = 0; i < conditions.size(); ++i)
        select.bind(static_cast<int>(i + 1), conditions[i].value);
    std::vector<HistoryEntry> entries;
    while (select.step())
        entries.push_back(entryOf(select.entryFields(0)));
    return entries;
}

}  // namespace history
