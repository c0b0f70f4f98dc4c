// The spool between a history and its store: entries wait in the order they
// came, and reach their own store once each, however a drain is cut off and
// however many processes drain at once.

#include "history/spool.h"
#include "history/sqlite_store.h"
#include "tests/history/history_fixture.h"

using namespace history;
using namespace std::chrono_literals;

namespace {

// A store that can be switched off, as a server that goes away.
class Switchable {
public:
    explicit Switchable(std::filesystem::path file) : file_(std::move(file)) {}

    bool on = true;

    std::unique_ptr<History> history(const std::filesystem::path &spool, Delivery delivery = Delivery::spoolWhenUnavailable)
    {
        return std::make_unique<History>(
            [this]() -> std::unique_ptr<HistoryStore> {
                if (!on)
                    throw HistoryError(HistoryErrorKind::unreachable, "the store is away");
                return std::make_unique<SqliteStore>(file_);
            },
            "file:" + file_.string(), file_.string(), HistoryOptions{.delivery = delivery, .spoolFile = spool});
    }

    std::vector<HistoryEntry> entries() { return SqliteStore(file_).query({}); }

private:
    std::filesystem::path file_;
};

}  // namespace

// Entries of one time, so that only the order they came in orders them.
TEST(HistorySpool, SendsWhatWaitsFirstInOrderAndOnce)
{
    TemporaryFolder folder;
    Switchable store(folder / "history.sqlite");
    const HistoryEntry first = installed(1), second = installed(1), third = installed(1), fourth = installed(1);
    EXPECT_FALSE(store.history(folder / "spool.sqlite")->append(first).spooled());
    store.on = false;
    const AppendResult waiting2 = store.history(folder / "spool.sqlite")->append(second);
    const AppendResult waiting3 = store.history(folder / "spool.sqlite")->append(third);
    ASSERT_TRUE(waiting3.spooled());
    EXPECT_EQ(waiting3.spooledBecause->kind(), HistoryErrorKind::unreachable);
    EXPECT_EQ(waiting2.waiting, 1u);
    EXPECT_EQ(waiting3.waiting, 2u);

    store.on = true;
    const AppendResult sent = store.history(folder / "spool.sqlite")->append(fourth);
    EXPECT_FALSE(sent.spooled());
    EXPECT_EQ(sent.waiting, 0u);
    EXPECT_EQ(idsOf(store.entries()), idsOf({&first, &second, &third, &fourth}));
    EXPECT_EQ(store.history(folder / "spool.sqlite")->drain(), 0u);
}

// A program that ended after its store took the entries and before the spool
// forgot them sends them again; the store keeps each once.
TEST(HistorySpool, ADrainCutOffBeforeForgettingDoublesNothing)
{
    TemporaryFolder folder;
    Switchable store(folder / "history.sqlite");
    const HistoryEntry entry = installed(1);
    Spool(folder / "spool.sqlite", {}).put("file:" + (folder / "history.sqlite").string(), entry);
    SqliteStore(folder / "history.sqlite").append(entry);

    std::unique_ptr<History> history = store.history(folder / "spool.sqlite");
    EXPECT_EQ(history->waiting(), 1u);
    EXPECT_EQ(history->drain(), 1u);
    EXPECT_EQ(history->waiting(), 0u);
    EXPECT_EQ(idsOf(store.entries()), idsOf({&entry}));
}

// A history that must be kept: the failure is the caller's, and nothing
// waits (the spool is not even made).
TEST(HistorySpool, RequiredDeliveryFailsInsteadOfWaiting)
{
    TemporaryFolder folder;
    Switchable store(folder / "history.sqlite");
    store.on = false;
    try {
        store.history(folder / "spool.sqlite", Delivery::required)->append(installed(1));
        ADD_FAILURE() << "no error";
    } catch (const HistoryError &error) {
        EXPECT_EQ(error.kind(), HistoryErrorKind::unreachable);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "spool.sqlite"));
}

// What names no store cannot wait for one: the location's error is the
// caller's even when entries may wait.
TEST(HistorySpool, AMalformedLocationIsNotSpooled)
{
    TemporaryFolder folder;
    History history([]() -> std::unique_ptr<HistoryStore> {
        throw HistoryError(HistoryErrorKind::malformedLocation, "no such place");
    },
                    "nowhere", "nowhere", HistoryOptions{.spoolFile = folder / "spool.sqlite"});
    EXPECT_THROW(history.append(installed(1)), HistoryError);
    EXPECT_EQ(history.waiting(), 0u);
}

// One spool serves every store; each store gets its own entries only.
TEST(HistorySpool, KeepsEachStoresEntriesApart)
{
    TemporaryFolder folder;
    Switchable away(folder / "a.sqlite"), there(folder / "b.sqlite");
    away.on = false;
    const HistoryEntry forA = installed(1), forB = installed(2);
    EXPECT_TRUE(away.history(folder / "spool.sqlite")->append(forA).spooled());
    EXPECT_FALSE(there.history(folder / "spool.sqlite")->append(forB).spooled());
    EXPECT_EQ(idsOf(there.entries()), idsOf({&forB}));
    away.on = true;
    EXPECT_EQ(away.history(folder / "spool.sqlite")->drain(), 1u);
    EXPECT_EQ(idsOf(away.entries()), idsOf({&forA}));
}

#ifndef _WIN32
// Stations that come back at once all drain the one spool: every entry
// arrives, once.
TEST(HistorySpool, ProcessesDrainingAtOnceSendEachEntryOnce)
{
    TemporaryFolder folder;
    Switchable store(folder / "history.sqlite");
    store.on = false;
    constexpr int entries = 60, processes = 3;
    for (int i = 0; i < entries; ++i)
        ASSERT_TRUE(store.history(folder / "spool.sqlite")->append(installed(i)).spooled());
    store.on = true;

    inProcesses(processes, [&](int) { store.history(folder / "spool.sqlite")->drain(); });
    EXPECT_EQ(store.entries().size(), std::size_t{entries});
    EXPECT_EQ(store.history(folder / "spool.sqlite")->waiting(), 0u);
}
#endif
