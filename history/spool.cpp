#include "history/spool.h"

#include <array>

#include "history/history_files.h"

namespace history {

namespace {

const std::array<std::string, 1> migrations{
    // 1: the first spool. AUTOINCREMENT: an order is never given twice, so
    // an entry put while another process drains comes after all it sends.
    "CREATE TABLE spool (spool_order INTEGER PRIMARY KEY AUTOINCREMENT, target TEXT NOT NULL, " +
        sqliteEntryColumnsV1(false) +
        ");"
        "CREATE INDEX spool_target ON spool (target, spool_order);",
};

const std::filesystem::path &inPrivateFolder(const std::filesystem::path &file)
{
    makePrivateFolder(file.parent_path());
    return file;
}

}  // namespace

Spool::Spool(const std::filesystem::path &file, const SqliteOptions &options)
    : connection_(inPrivateFolder(file), "history spool", options)
{
    connection_.migrate(migrations);
}

void Spool::put(const std::string &target, const HistoryEntry &entry)
{
    std::string placeholders;
    for (std::size_t i = 0; i < entryColumns().size(); ++i)
        placeholders += ", ?";
    SqliteStatement insert =
        connection_.prepare("INSERT INTO spool (target, " + entryColumnList() + ") VALUES (?" + placeholders + ")");
    insert.bind(1, target);
    insert.bind(2, fieldsOf(entry));
    insert.step();
}

std::vector<Spool::Waiting> Spool::oldest(const std::string &target, std::size_t count)
{
    SqliteStatement select = connection_.prepare("SELECT spool_order, " + entryColumnList() +
                                                  " FROM spool WHERE target = ? ORDER BY spool_order LIMIT ?");
    select.bind(1, target);
    select.bind(2, static_cast<std::int64_t>(count));
    std::vector<Waiting> waiting;
    while (select.step())
        waiting.push_back({select.integer(0), entryOf(select.entryFields(1))});
    return waiting;
}

void Spool::removeThrough(const std::string &target, std::int64_t order)
{
    SqliteStatement remove = connection_.prepare("DELETE FROM spool WHERE target = ? AND spool_order <= ?");
    remove.bind(1, target);
    remove.bind(2, order);
    remove.step();
}

std::size_t Spool::count(const std::string &target)
{
    SqliteStatement select = connection_.prepare("SELECT count(*) FROM spool WHERE target = ?");
    select.bind(1, target);
    return select.step() ? static_cast<std::size_t>(select.integer(0)) : 0;
}

}  // namespace history
