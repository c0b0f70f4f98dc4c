// The history in SQLite files: the store's contract, the user's default
// file, and many writers at once (threads, and processes where there is
// fork()).

#include <sqlite3.h>

#include <cstdlib>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "history/sqlite_store.h"
#include "tests/history/store_contract.h"

using namespace history;

namespace {

struct SqliteFile {
    TemporaryFolder folder;
    std::unique_ptr<HistoryStore> open() { return std::make_unique<SqliteStore>(folder / "history.sqlite"); }
};

// One answer of the file itself, asked by SQLite's own shell's means.
std::string pragma(const std::filesystem::path &file, const char *name)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, (std::string("PRAGMA ") + name).c_str(), -1, &statement, nullptr);
    std::string value;
    if (sqlite3_step(statement) == SQLITE_ROW)
        value = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// Sets an environment variable for the test's length.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        set(value.c_str());
    }
    ~ScopedVariable() { set(old_ ? old_->c_str() : nullptr); }

private:
    void set(const char *value)
    {
#ifdef _WIN32
        _putenv_s(name_, value ? value : "");
#else
        value ? ::setenv(name_, value, 1) : ::unsetenv(name_);
#endif
    }
    const char *name_;
    std::optional<std::string> old_;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, StoreContract, SqliteFile);

// The user's own file is made on first use in a folder only they can enter,
// in WAL mode, with this version's schema.
TEST(SqliteHistory, MakesTheDefaultFileOnFirstUse)
{
    TemporaryFolder home;
#ifdef _WIN32
    ScopedVariable data("LOCALAPPDATA", (home / "AppData").string());
    const std::filesystem::path expected = home / "AppData" / "Vantrel Update" / "history.sqlite";
#else
    ScopedVariable data("XDG_DATA_HOME", (home / "data").string());
    const std::filesystem::path expected = home / "data" / "vantrel-update" / "history.sqlite";
#endif
    ScopedVariable noServer("VANTREL_HISTORY_URL", "");
    const HistoryLocation location = defaultLocation();
    ASSERT_EQ(location.kind, HistoryLocation::Kind::file);
    EXPECT_EQ(location.file, expected);

    const HistoryEntry entry = installed(1);
    {
        History history(location);
        EXPECT_FALSE(history.append(entry).spooled());
    }
    EXPECT_EQ(pragma(expected, "journal_mode"), "wal");
    EXPECT_EQ(pragma(expected, "user_version"), std::to_string(sqliteSchemaVersion()));
#ifndef _WIN32
    struct stat folder {};
    ASSERT_EQ(::stat(expected.parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
#endif
    EXPECT_EQ(idsOf(History(location).query({})), idsOf({&entry}));
}

// Threads that share a history, and threads with a store each, on one
// file: every entry is kept.
TEST(SqliteHistory, ManyThreadsLoseNothing)
{
    TemporaryFolder folder;
    const std::filesystem::path file = folder / "history.sqlite";
    constexpr int threads = 6, perThread = 20;
    History shared(HistoryLocation{HistoryLocation::Kind::file, file, {}},
                   HistoryOptions{.spoolFile = folder / "spool.sqlite"});
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            std::unique_ptr<SqliteStore> own = t % 2 ? std::make_unique<SqliteStore>(file) : nullptr;
            for (int i = 0; i < perThread; ++i) {
                const HistoryEntry entry = installed(i, "T" + std::to_string(t));
                if (own)
                    own->append(entry);
                else
                    EXPECT_FALSE(shared.append(entry).spooled());
            }
        });
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_EQ(shared.query({}).size(), std::size_t{threads * perThread});
    EXPECT_EQ(shared.waiting(), 0u);
}

#ifndef _WIN32
// Processes that start at once on a file that does not exist yet: one makes
// it, none fails, every entry is kept, each process's in its order.
TEST(SqliteHistory, ManyProcessesLoseNothing)
{
    TemporaryFolder folder;
    const std::filesystem::path file = folder / "history.sqlite";
    constexpr int processes = 4, perProcess = 25;
    inProcesses(processes, [&](int p) {
        History history(HistoryLocation{HistoryLocation::Kind::file, file, {}},
                        HistoryOptions{.delivery = Delivery::required, .spoolFile = folder / "spool.sqlite"});
        for (int i = 0; i < perProcess; ++i) {
            // One time for all: their order is the order they came in.
            HistoryEntry entry = installed(0, "P" + std::to_string(p));
            entry.message = std::to_string(i);
            history.append(entry);
        }
    });
    SqliteStore store(file);
    for (int p = 0; p < processes; ++p) {
        std::vector<std::string> order;
        for (const HistoryEntry &entry : store.query({.serial = "P" + std::to_string(p)}))
            order.push_back(entry.message);
        std::vector<std::string> expected;
        for (int i = 0; i < perProcess; ++i)
            expected.push_back(std::to_string(i));
        EXPECT_EQ(order, expected) << "process " << p;
    }
}
#endif
