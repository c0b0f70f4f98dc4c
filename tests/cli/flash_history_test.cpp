// The history through the built vantrel-flash: what each command keeps,
// what it keeps nothing of, the history command's queries and forms, and a
// store that cannot take an entry.

#include <gtest/gtest.h>

#include <algorithm>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "history/history_output.h"
#include "tests/cli/flash_runs.h"
#include "tests/history/history_fixture.h"
#include "tests/support/scoped_variable.h"

namespace {

using nlohmann::json;

// A folder of the test's own for the history and, through XDG_DATA_HOME,
// for the default history and the spool: nothing reaches the user's own.
class FlashHistory : public testing::Test {
protected:
    TemporaryFolder folder;
    const std::string data = (folder / "data").string();
    ScopedVariable dataHome{"XDG_DATA_HOME", data};
    ScopedVariable url{"VANTREL_HISTORY_URL", std::nullopt};
    const std::string file = (folder / "history.sqlite").string();

    void SetUp() override { std::filesystem::create_directories(data); }

    // What a store holds, read as another program would (with a spool of
    // its own, so that it sends nothing of the tool's).
    std::vector<history::HistoryEntry> entriesIn(const std::string &location)
    {
        history::History reader(history::parseLocation(location),
                                {.spoolFile = folder / ("reader-spool-" + history::newEntryId() + ".sqlite")});
        return reader.query({});
    }
    json entriesJson(const std::string &location)
    {
        json entries = json::array();
        for (const history::HistoryEntry &entry : entriesIn(location))
            entries.push_back(history::jsonOf(entry));
        return entries;
    }
};

// What an adapter's result and its entry both say, as the JSON names them.
void expectEntryOf(const json &adapter, const json &entry)
{
    for (const char *field : {"serial", "port", "variant", "outcome", "errorKind", "message", "versionBefore",
                              "versionAfter", "carriedVersion", "durationSeconds"})
        EXPECT_EQ(entry[field], adapter[field]) << field;
    EXPECT_EQ(entry["imageCrc32"], adapter["carriedCrc32"]);
    // Where it stopped: a task that moves no bytes got nowhere to count.
    json stopped = adapter["stoppedIn"];
    if (stopped.is_null() && !adapter["task"].is_null())
        stopped = {{"task", adapter["task"]}, {"bytesDone", 0}, {"bytes", 0}};
    EXPECT_EQ(entry["stoppedIn"], stopped);
    EXPECT_EQ(entry["program"], "vantrel-flash");
    EXPECT_EQ(entry["programVersion"], VANTREL_EXPECTED_VERSION);
}

const json storedHistory = {{"stored", true}, {"spooled", false}, {"waiting", 0}, {"errorKind", nullptr},
                            {"message", ""}};

struct KeptCase {
    const char *name;
    Arguments arguments;
    std::vector<const char *> outcomes;  // of the entries, in order
};

TEST_F(FlashHistory, EveryCommandKeepsEachAdapterItWorkedOn)
{
    const KeptCase cases[] = {
        {"install", {"install", "--simulate", "max,serial=I1"}, {"installed"}},
        {"install --if-needed", {"install", "--if-needed", "--simulate", "flex,serial=C1,installed"}, {"current"}},
        {"verify", {"verify", "--simulate", "max,serial=V1,installed,damaged=2"}, {"differs"}},
        {"a failed install", {"install", "--simulate", "max,serial=F1,fault=write"}, {"failed"}},
        {"a failure that moves no bytes", {"install", "--simulate", "max,serial=N1,fault=connect"}, {"failed"}},
        // The adapter passed over was not worked on: it is not kept.
        {"install --all",
         {"install", "--all", "--simulate", "max,serial=A1", "--simulate", "flex,serial=A2", "--simulate",
          "arm-basic,serial=0401"},
         {"installed", "installed"}},
        {"a station",
         {"install", "--wait", "--count", "2", "--if-needed", "--simulate", "max,serial=S1,arrive=1,leave=10",
          "--simulate", "flex,serial=S2,installed,arrive=15"},
         {"installed", "current"}},
    };
    for (const KeptCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(file);
        Arguments arguments = c.arguments;
        arguments.insert(arguments.end(), {"--json", "--history", file, "--station", "bench-7"});
        const FlashRun run = flash(arguments);
        const json adapters = has(arguments, "--wait") ? json(jsonLines(run.out)) : run.document["adapters"];
        const json entries = entriesJson(file);
        ASSERT_EQ(entries.size(), c.outcomes.size()) << run.err;
        std::size_t kept = 0;
        for (const json &adapter : adapters) {
            if (adapter["outcome"] == "skipped") {
                EXPECT_EQ(adapter["history"], nullptr);
                continue;
            }
            ASSERT_LT(kept, entries.size());
            // Adapters worked on at once are kept in the order they end:
            // each adapter's one entry is found by its serial number.
            const auto entry = std::find_if(entries.begin(), entries.end(),
                                            [&](const json &e) { return e["serial"] == adapter["serial"]; });
            ASSERT_NE(entry, entries.end()) << adapter.dump();
            EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                    [&](const json &e) { return e["serial"] == adapter["serial"]; }),
                      1);
            EXPECT_EQ((*entry)["outcome"], c.outcomes[kept]);
            EXPECT_EQ((*entry)["station"], "bench-7");
            expectEntryOf(adapter, *entry);
            EXPECT_EQ(adapter["history"], storedHistory);
            ++kept;
        }
        EXPECT_EQ(kept, entries.size());
    }
}

TEST_F(FlashHistory, KeepsNoReplayAndASimulationOnlyInAStoreNamedForIt)
{
    // The default history, as a line would set it.
    const std::string defaultFile = (folder / "default.sqlite").string();
    const ScopedVariable lineUrl("VANTREL_HISTORY_URL", defaultFile);
    const struct {
        const char *name;
        Arguments arguments;
        bool kept;
    } cases[] = {
        {"a simulation", {"install", "--simulate", "max"}, false},
        {"a replay", {"--replay", VANTREL_RECORDINGS "/install-flex.jsonl", "install"}, false},
        {"--no-history", {"install", "--simulate", "max", "--no-history"}, false},
        {"a simulation with --history", {"install", "--simulate", "max", "--history", file}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Arguments arguments = c.arguments;
        arguments.push_back("--json");
        const FlashRun run = flash(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.document["adapters"][0]["history"], c.kept ? storedHistory : json(nullptr));
    }
    EXPECT_FALSE(std::filesystem::exists(defaultFile));
    EXPECT_EQ(entriesIn(file).size(), 1u);
}

TEST_F(FlashHistory, RefusesWhatCannotBeKeptBeforeAnyAdapterIsTouched)
{
    const struct {
        Arguments arguments;
        const char *words;
    } cases[] = {
        {{"install", "--simulate", "max", "--history", "postgresql://vantrel@host:99999/line"}, "no port number"},
        {{"install", "--simulate", "max", "--history", "ftp://host/history"}, "no postgresql:// URL"},
        {{"install", "--simulate", "max", "--history", ""}, "location is empty"},
        {{"install", "--simulate", "max", "--require-history"}, "needs --history"},
        {{"install", "--simulate", "max", "--no-history", "--history", "h.sqlite"}, "exclude each other"},
        {{"install", "--simulate", "max", "--no-history", "--require-history"}, "exclude each other"},
        {{"install", "--replay", "r.jsonl", "--history", "h.sqlite"}, "keeps nothing of it"},
        {{"list", "--simulate", "max", "--history", "h.sqlite"}, "goes with install, verify and history only"},
        {{"history", "--since", "yesterday"}, "--since wants a day or a time"},
        {{"history", "--until", "2025-13-01"}, "--until wants a day or a time"},
        {{"history", "--outcome", "great"}, "--outcome wants one of installed, current"},
        {{"history", "--csv"}, "exclude each other"},
        {{"history", "--since", "2025-05-21", "--until", "2025-05-20"}, "--since is not before --until"},
        {{"history", "--simulate", "max"}, "goes with list, info, install and verify only"},
    };
    for (const auto &c : cases) {
        Arguments arguments = c.arguments;
        arguments.push_back("--json");
        const FlashRun run = flash(arguments);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.document["errorKind"], "usage");
        EXPECT_TRUE(contains(run.document["message"].get<std::string>(), c.words)) << run.document["message"];
        EXPECT_EQ(run.document["adapters"], json::array());
    }
    // A line's URL in the environment is read as --history would be.
    const ScopedVariable lineUrl("VANTREL_HISTORY_URL", "postgresql://vantrel@host:0/line");
    const FlashRun run = flash({"history", "--json"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(contains(run.document["message"].get<std::string>(), "VANTREL_HISTORY_URL")) << run.err;
    EXPECT_FALSE(std::filesystem::exists("h.sqlite"));
}

// Entries of a lab's history, written as the tool would have at those times.
class FlashHistoryQuery : public FlashHistory {
protected:
    std::vector<history::HistoryEntry> made;

    void SetUp() override
    {
        FlashHistory::SetUp();
        using namespace std::chrono;
        const auto at = [](int day, int hour, int minute, int second) {
            return history::TimePoint(sys_days(year(2025) / 5 / day) + hours(hour) + minutes(minute) + seconds(second));
        };
        const struct {
            history::TimePoint time;
            const char *serial;
            const char *station;
            const char *outcome;
        } rows[] = {
            {at(19, 23, 30, 0), "VT1", "lab-1", "installed"},
            {at(20, 8, 0, 0), "VT2", "lab-2", "failed"},
            // Latin-1 and an escape byte: device text, every byte kept.
            {at(20, 13, 45, 30), "\xC4-\x1B[2J", "lab-1", "verified"},
            {at(21, 0, 0, 0), "VT1", "lab-2", "current"},
        };
        history::History writer(history::parseLocation(file), {.spoolFile = folder / "writer-spool.sqlite"});
        for (const auto &row : rows) {
            history::HistoryEntry entry = installed(0, row.serial);
            entry.time = row.time;
            entry.station = row.station;
            entry.outcome = row.outcome;
            if (entry.outcome == "failed") {
                entry.errorKind = "write-failed";
                entry.message = "Download failed : memory write failed";
            }
            writer.append(entry);
            made.push_back(entry);
        }
    }

    std::vector<std::string> idsOfMade(std::initializer_list<int> indexes) const
    {
        std::vector<std::string> ids;
        for (int index : indexes)
            ids.push_back(made[static_cast<std::size_t>(index)].id);
        return ids;
    }
};

TEST_F(FlashHistoryQuery, EachFilterKeepsItsEntriesNewestLast)
{
    const struct {
        Arguments filter;
        std::vector<int> expected;
    } cases[] = {
        {{}, {0, 1, 2, 3}},
        {{"--serial", "VT1"}, {0, 3}},
        // As the terminal and the JSON show it (UTF-8), or as its bytes.
        {{"--serial", "\u00c4-\x1B[2J"}, {2}},
        {{"--serial", "\xC4-\x1B[2J"}, {2}},
        // As the terminal's table shows it: the escape byte as \x1B.
        {{"--serial", "\u00c4-\\x1B[2J"}, {2}},
        {{"--outcome", "failed"}, {1}},
        {{"--station", "lab-1"}, {0, 2}},
        {{"--since", "2025-05-20T00:00Z"}, {1, 2, 3}},
        // The whole minute named, in another offset.
        {{"--until", "2025-05-20 15:45+02:00"}, {0, 1, 2}},
        {{"--since", "2025-05-20Z", "--until", "2025-05-20Z", "--station", "lab-1"}, {2}},
        {{"--serial", "VT9"}, {}},
    };
    for (const auto &c : cases) {
        Arguments arguments{"history", "--json", "--history", file};
        arguments.insert(arguments.end(), c.filter.begin(), c.filter.end());
        const FlashRun run = flash(arguments);
        SCOPED_TRACE(testing::PrintToString(c.filter) + run.err);
        ASSERT_EQ(run.exitCode, 0);
        std::vector<std::string> ids;
        for (const json &entry : run.document["entries"])
            ids.push_back(entry["id"]);
        std::vector<std::string> expected;
        for (int index : c.expected)
            expected.push_back(made[static_cast<std::size_t>(index)].id);
        EXPECT_EQ(ids, expected);
        EXPECT_EQ(run.document["command"], "history");
        EXPECT_EQ(run.document["adapters"], json::array());
    }
}

TEST_F(FlashHistoryQuery, TextIsATableThatNoSerialNumberCanDriveAndCsvIsTheLibrarys)
{
    const FlashRun text = flash({"history", "--history", file});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_TRUE(contains(text.out, "TIME ")) << text.out;
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 5);
    EXPECT_TRUE(contains(text.out, "\u00c4-\\x1B[2J")) << text.out;
    EXPECT_FALSE(contains(text.out, "\x1B")) << "the escape reached the terminal";
    EXPECT_TRUE(contains(text.out, "write-failed: Download failed : memory write failed")) << text.out;
    EXPECT_TRUE(contains(text.out, "2025-05-20 15:45:30 +02:00")) << "the station's own clock";

    const FlashRun csv = flash({"history", "--csv", "--history", file, "--station", "lab-2"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out, history::csvOf({made[1], made[3]}));

    const FlashRun none = flash({"history", "--history", file, "--serial", "VT9"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "The history holds no such entries.\n");
}

TEST_F(FlashHistory, AHistoryThatCannotBeReadIsExitCodeFour)
{
    std::ofstream(folder / "damaged.sqlite") << std::string(4096, 'x');
    const struct {
        std::string location;
        const char *words;
    } cases[] = {
        {(folder / "missing.sqlite").string(), "there is no history file"},
        {(folder / "damaged.sqlite").string(), "is damaged"},
    };
    for (const auto &c : cases) {
        const FlashRun run = flash({"history", "--json", "--history", c.location});
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_EQ(run.document["errorKind"], "history-failed");
        EXPECT_TRUE(contains(run.document["message"].get<std::string>(), c.words)) << run.document["message"];
        EXPECT_TRUE(contains(run.err, c.location)) << "the line names the file";
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.sqlite")) << "asking made it";
    // The default history before its first entry is merely empty.
    const FlashRun empty = flash({"history", "--json"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(empty.document["entries"], json::array());
}

// How many lines of the text mention the word.
long linesAbout(const std::string &word, const std::string &text)
{
    long lines = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines += text.substr(start, end - start).find(word) != std::string::npos;
    return lines;
}

// A history file in trouble, made and cured by the test: the file, and the
// data folder where the spool goes.
struct Place {
    std::filesystem::path file;
    std::filesystem::path data;
};

struct Trouble {
    const char *name;
    const char *kind;   // the history's error kind
    const char *words;  // in the line
    bool spooled;       // the spool could take it
    std::function<void(const Place &)> cause;
    std::function<void(const Place &)> cure;
};

class FlashHistoryTrouble : public FlashHistory {
protected:
    sqlite3 *locker = nullptr;

    void TearDown() override
    {
        if (locker)
            sqlite3_close(locker);
    }

    // As the user nobody where the test runs as root, who may write anything.
    static FlashRun flashAsUser(const Arguments &arguments, bool asOtherUser)
    {
        if (!asOtherUser || ::geteuid() != 0)
            return flash(arguments);
        Arguments wrapped{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", VANTREL_FLASH};
        wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
        ChildProcess child("/usr/bin/setpriv", wrapped);
        const ChildProcess::Ending ending = child.wait();
        return {ending.exitCode, ending.out, ending.err, nlohmann::json::parse(ending.out)};
    }
};

TEST_F(FlashHistoryTrouble, TheInstallIsReportedWithOneLineAndTheEntryWaitsForTheCure)
{
    const auto damage = [](const Place &p) {
        std::filesystem::remove(p.file);
        std::ofstream(p.file) << std::string(4096, 'x');
    };
    const auto moveAside = [](const Place &p) { std::filesystem::rename(p.file, p.file.string() + ".damaged"); };
    const Trouble troubles[] = {
        {"locked", "locked", "is locked", true,
         [this](const Place &p) {
             ASSERT_EQ(sqlite3_open(p.file.c_str(), &locker), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
         },
         [this](const Place &) {
             sqlite3_close(locker);
             locker = nullptr;
         }},
        {"damaged", "damaged", "is damaged", true, damage, moveAside},
        {"read-only", "read-only", "cannot be", true,
         [](const Place &p) {
             ::chmod(p.data.c_str(), 0777);  // the other user's spool goes there
             ::chmod(p.file.c_str(), 0444);
             ::chmod(p.file.parent_path().c_str(), 0555);
         },
         [](const Place &p) {
             ::chmod(p.file.parent_path().c_str(), 0755);
             ::chmod(p.file.c_str(), 0644);
         }},
        // Nor can the spool be made: the entry is lost, and the line says so.
        {"damaged, and no spool", "damaged", "nor can the entry wait in the spool", false,
         [damage](const Place &p) {
             damage(p);
             std::filesystem::remove_all(p.data);
             std::ofstream(p.data) << "a file where the data folder would be";
         },
         [moveAside](const Place &p) {
             moveAside(p);
             std::filesystem::remove(p.data);
             std::filesystem::create_directories(p.data);
         }},
    };
    for (const Trouble &trouble : troubles) {
        SCOPED_TRACE(trouble.name);
        const std::filesystem::path room = folder / trouble.name;
        const Place place{room / "files" / "history.sqlite", room / "data"};
        std::filesystem::create_directories(place.file.parent_path());
        std::filesystem::create_directories(place.data);
        const ScopedVariable roomData("XDG_DATA_HOME", place.data.string());
        const std::string troubled = place.file.string();
        ASSERT_EQ(flash({"install", "--simulate", "max,serial=W0", "--history", troubled}).exitCode, 0);
        trouble.cause(place);

        const bool readOnly = std::string(trouble.kind) == "read-only";
        const FlashRun run = flashAsUser({"install", "--json", "--simulate", "max,serial=W1", "--history", troubled},
                                         readOnly);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const json &adapter = run.document["adapters"][0];
        EXPECT_EQ(adapter["outcome"], "installed");
        EXPECT_EQ(adapter["history"]["stored"], false);
        EXPECT_EQ(adapter["history"]["spooled"], trouble.spooled);
        EXPECT_EQ(adapter["history"]["waiting"], trouble.spooled ? 1 : 0);
        EXPECT_EQ(adapter["history"]["errorKind"], trouble.kind);
        const std::string line = trouble.spooled ? "vantrel-flash: the history entry for W1 waits in the spool: "
                                                 : "vantrel-flash: the history could not keep the entry for W1: ";
        EXPECT_TRUE(contains(run.err, line)) << run.err;
        EXPECT_TRUE(contains(run.err, trouble.words)) << run.err;
        EXPECT_TRUE(contains(run.err, troubled)) << "the line names the file";
        EXPECT_EQ(linesAbout("history", run.err), 1) << run.err;

        trouble.cure(place);
        const FlashRun cured = flash({"install", "--json", "--simulate", "max,serial=W2", "--history", troubled});
        EXPECT_EQ(cured.document["adapters"][0]["history"], storedHistory) << cured.err;
        std::vector<std::string> serials;
        for (const history::HistoryEntry &entry : entriesIn(troubled))
            serials.push_back(entry.serial);
        if (!serials.empty() && serials.front() == "W0")
            serials.erase(serials.begin());  // a cure that kept the file
        const std::vector<std::string> expected =
            trouble.spooled ? std::vector<std::string>{"W1", "W2"} : std::vector<std::string>{"W2"};
        EXPECT_EQ(serials, expected);
    }
}

TEST_F(FlashHistoryTrouble, RequireHistoryBeginsNoAdapterWhileTheStoreCannotTakeAnEntry)
{
    std::ofstream(folder / "damaged.sqlite") << std::string(4096, 'x');
    const struct {
        const char *name;
        Arguments arguments;
    } cases[] = {
        {"install", {"install", "--json", "--simulate", "max"}},
        {"a station", {"install", "--wait", "--count", "1", "--json", "--simulate", "max"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Arguments arguments = c.arguments;
        arguments.insert(arguments.end(), {"--history", (folder / "damaged.sqlite").string(), "--require-history"});
        // A station refused before its first adapter writes its refusal on one line.
        const FlashRun run = flash(arguments);
        const json document = has(arguments, "--wait") ? json::parse(run.out) : run.document;
        EXPECT_EQ(run.exitCode, 4) << run.err;
        EXPECT_EQ(document["errorKind"], "history-failed");
        EXPECT_EQ(document["adapters"], json::array()) << "no adapter was begun";
        EXPECT_TRUE(contains(run.err, "--require-history")) << run.err;
        EXPECT_TRUE(contains(run.err, "is damaged")) << run.err;
    }
    const FlashRun sound = flash({"install", "--json", "--simulate", "max", "--history", file, "--require-history"});
    EXPECT_EQ(sound.exitCode, 0) << sound.err;
    EXPECT_EQ(sound.document["adapters"][0]["history"], storedHistory);
}

#if VANTREL_HISTORY_SERVER
TEST_F(FlashHistory, AServerOutOfReachSpoolsTheEntryOrStopsAStationThatRequiresIt)
{
    const std::string away = "postgresql://vantrel@/line?host=" + (folder / "no-server").string();
    const FlashRun spooled = flash({"install", "--json", "--simulate", "max,serial=U1", "--history", away});
    EXPECT_EQ(spooled.exitCode, 0) << spooled.err;
    const json &kept = spooled.document["adapters"][0]["history"];
    EXPECT_EQ(kept["spooled"], true);
    EXPECT_EQ(kept["errorKind"], "unreachable");
    EXPECT_TRUE(contains(spooled.err, "cannot be reached")) << spooled.err;

    const FlashRun station = flash({"install", "--wait", "--json", "--simulate", "max,serial=U2", "--history", away,
                                    "--require-history"});
    EXPECT_EQ(station.exitCode, 4) << station.err;
    EXPECT_EQ(json::parse(station.out)["errorKind"], "history-failed");

    const FlashRun query = flash({"history", "--json", "--history", away});
    EXPECT_EQ(query.exitCode, 4);
    EXPECT_EQ(query.document["errorKind"], "history-failed");
}
#endif

}  // namespace
