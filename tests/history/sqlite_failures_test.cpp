// An SQLite history that cannot take an entry: each way it fails gives one
// line that names the file, the entry waits in the spool, and it reaches
// the file once the file is sound again.

#include <sqlite3.h>

#include <fstream>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "history/history_files.h"
#include "history/sqlite_store.h"
#include "tests/history/history_fixture.h"

using namespace history;
using namespace std::chrono_literals;

namespace {

// A history file in trouble, and the spool beside it.
struct Trouble {
    TemporaryFolder folder;
    std::filesystem::path file = folder / "history.sqlite";
    std::filesystem::path spool = folder / "spool.sqlite";
    std::optional<std::int64_t> maxPages;
    sqlite3 *locker = nullptr;

    // As the next run of the program would: a new History each time.
    std::unique_ptr<History> history(Delivery delivery)
    {
        return std::make_unique<History>(
            [this] {
                return std::make_unique<SqliteStore>(file, SqliteOptions{.busyTimeout = 100ms, .maxPages = maxPages});
            },
            "file:" + utf8Path(file), utf8Path(file), HistoryOptions{.delivery = delivery, .spoolFile = spool});
    }

    void sql(const char *statement)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(file.string().c_str(), &db);
        EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    std::int64_t number(const char *query)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(file.string().c_str(), &db);
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, query, -1, &statement, nullptr);
        const std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return value;
    }

    void replaceWith(const std::string &bytes)
    {
        std::filesystem::remove(file);
        std::ofstream(file, std::ios::binary) << bytes;
    }

    // Over one page of the file, as a failing disk or a stray program would.
    void scribbleOverPage(std::int64_t page)
    {
        const std::int64_t size = number("PRAGMA page_size");
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp((page - 1) * size);
        bytes << std::string(static_cast<std::size_t>(size), '\xA5');
    }

    void moveAside() { std::filesystem::rename(file, folder / "history.sqlite.damaged"); }
};

struct FailureCase {
    const char *name;
    HistoryErrorKind kind;
    const char *words;  // in the message
    bool checkFinds;    // checkWritable finds it before an append meets it
    std::function<void(Trouble &)> cause;
    std::function<void(Trouble &)> cure;
};

const FailureCase failureCases[] = {
    {"locked beyond the wait", HistoryErrorKind::locked, "is locked", true,
     [](Trouble &t) {
         sqlite3_open(t.file.string().c_str(), &t.locker);
         ASSERT_EQ(sqlite3_exec(t.locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
     },
     [](Trouble &t) {
         sqlite3_exec(t.locker, "ROLLBACK", nullptr, nullptr, nullptr);
         sqlite3_close(t.locker);
     }},
    {"not a database", HistoryErrorKind::damaged, "is damaged", true,
     [](Trouble &t) { t.replaceWith(std::string(4096, 'x')); }, [](Trouble &t) { t.moveAside(); }},
    // What only the table's own pages tell is found by an append alone.
    {"a page of the table overwritten", HistoryErrorKind::damaged, "is damaged", false,
     [](Trouble &t) { t.scribbleOverPage(t.number("SELECT rootpage FROM sqlite_master WHERE name = 'history'")); },
     [](Trouble &t) { t.moveAside(); }},
    {"a newer schema", HistoryErrorKind::newerSchema, "newer version", true,
     [](Trouble &t) { t.sql("PRAGMA user_version = 99"); },
     [](Trouble &t) { t.sql(("PRAGMA user_version = " + std::to_string(sqliteSchemaVersion())).c_str()); }},
    // A file that may not grow is a full disk as SQLite sees it.
    {"a full disk", HistoryErrorKind::full, "disk is full", false,
     [](Trouble &t) { t.maxPages = t.number("PRAGMA page_count"); }, [](Trouble &t) { t.maxPages.reset(); }},
};

// Longer than a page, so that it needs room the full file does not have.
HistoryEntry longEntry(int number)
{
    HistoryEntry entry = failedInstall(number);
    entry.message = std::string(20000, 'm');
    return entry;
}

}  // namespace

TEST(SqliteHistoryFailures, EachIsOneClearLineAndTheEntryWaits)
{
    for (const FailureCase &test : failureCases) {
        SCOPED_TRACE(test.name);
        Trouble trouble;
        const HistoryEntry before = installed(0), failed = longEntry(1), after = installed(2);
        SqliteStore(trouble.file).append(before);
        test.cause(trouble);
        if (test.checkFinds) {
            try {
                trouble.history(Delivery::required)->checkWritable();
                ADD_FAILURE() << "the check found nothing";
            } catch (const HistoryError &error) {
                EXPECT_EQ(error.kind(), test.kind);
            }
        }

        try {
            trouble.history(Delivery::required)->append(failed);
            ADD_FAILURE() << "no error";
        } catch (const HistoryError &error) {
            EXPECT_EQ(error.kind(), test.kind);
            const std::string message = error.what();
            EXPECT_NE(message.find(test.words), std::string::npos) << message;
            EXPECT_NE(message.find(utf8Path(trouble.file)), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
        EXPECT_EQ(trouble.history(Delivery::required)->waiting(), 0u);

        const AppendResult spooled = trouble.history(Delivery::spoolWhenUnavailable)->append(failed);
        ASSERT_TRUE(spooled.spooled());
        EXPECT_EQ(spooled.spooledBecause->kind(), test.kind);
        EXPECT_EQ(spooled.waiting, 1u);
        // A file another program holds for writing is still read: what waits
        // for it does not keep its entries from a query.
        if (test.kind == HistoryErrorKind::locked) {
            EXPECT_EQ(idsOf(trouble.history(Delivery::spoolWhenUnavailable)->query({})), idsOf({&before}));
        }

        test.cure(trouble);
        const AppendResult stored = trouble.history(Delivery::spoolWhenUnavailable)->append(after);
        EXPECT_FALSE(stored.spooled());
        EXPECT_EQ(stored.waiting, 0u);
        std::vector<std::string> ids = idsOf(SqliteStore(trouble.file).query({}));
        if (!ids.empty() && ids.front() == before.id)
            ids.erase(ids.begin());  // a cure that kept the old file
        EXPECT_EQ(ids, idsOf({&failed, &after}));
    }
}

// Where the spool cannot be written either, the line says both.
TEST(SqliteHistoryFailures, SaysSoWhenTheSpoolFailsToo)
{
    Trouble trouble;
    failureCases[0].cause(trouble);
    std::ofstream(trouble.folder / "a-file") << "not a folder";
    trouble.spool = trouble.folder / "a-file" / "spool.sqlite";
    try {
        trouble.history(Delivery::spoolWhenUnavailable)->append(installed(1));
        ADD_FAILURE() << "no error";
    } catch (const HistoryError &error) {
        EXPECT_EQ(error.kind(), HistoryErrorKind::locked);
        EXPECT_NE(std::string(error.what()).find("is locked"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("nor can the entry wait in the spool"), std::string::npos)
            << error.what();
    }
    failureCases[0].cure(trouble);
}

#ifndef _WIN32
// A file the user may not write. Root may write any file, so as root the
// test's program acts as the user nobody.
TEST(SqliteHistoryFailures, ReadOnlyFileAndFolder)
{
    Trouble trouble;
    const HistoryEntry failed = installed(1), after = installed(2);
    SqliteStore(trouble.file).append(installed(0));
    const std::filesystem::path spoolFolder = trouble.folder / "spool";
    std::filesystem::create_directory(spoolFolder);
    ::chmod(spoolFolder.c_str(), 0777);
    ::chmod(trouble.folder.path().c_str(), 0555);
    ::chmod(trouble.file.c_str(), 0444);
    trouble.spool = spoolFolder / "spool.sqlite";

    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        // What the check finds first, then what the append does.
        std::string line = "writable#";
        try {
            trouble.history(Delivery::spoolWhenUnavailable)->checkWritable();
        } catch (const HistoryError &error) {
            line = std::string(nameOf(error.kind())) + "#";
        }
        try {
            const AppendResult result = trouble.history(Delivery::spoolWhenUnavailable)->append(failed);
            line += result.spooled() ? std::string(nameOf(result.spooledBecause->kind())) + "|" +
                                           result.spooledBecause->what()
                                     : "stored|";
        } catch (const HistoryError &error) {
            line += std::string("error|") + error.what();
        }
        const bool written = ::write(report[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(report[1]);
    std::string line;
    char chunk[512];
    for (ssize_t got; (got = ::read(report[0], chunk, sizeof chunk)) > 0;)
        line.append(chunk, static_cast<std::size_t>(got));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    EXPECT_EQ(line.substr(0, line.find('#')), "read-only") << line;
    line.erase(0, line.find('#') + 1);
    EXPECT_EQ(line.substr(0, line.find('|')), "read-only") << line;
    EXPECT_NE(line.find("read-only"), std::string::npos) << line;
    EXPECT_NE(line.find(utf8Path(trouble.file)), std::string::npos) << line;

    // Writable again: the waiting entry goes first.
    ::chmod(trouble.folder.path().c_str(), 0755);
    ::chmod(trouble.file.c_str(), 0644);
    EXPECT_FALSE(trouble.history(Delivery::spoolWhenUnavailable)->append(after).spooled());
    std::vector<std::string> ids = idsOf(SqliteStore(trouble.file).query({}));
    ids.erase(ids.begin());
    EXPECT_EQ(ids, idsOf({&failed, &after}));
}
#endif
