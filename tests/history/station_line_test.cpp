// A line of stations: the built vantrel-flash, run as stations that write
// into one PostgreSQL server at once, and a station whose server goes away
// and comes back while it works.

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/history/postgres_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/scoped_variable.h"

using nlohmann::json;

namespace {

int server(const char *action, const std::string &folder)
{
    return std::system(("bash " VANTREL_POSTGRES_SCRIPT " " + std::string(action) + " " + folder).c_str());
}

// A station of the line whose database that is: its password in the
// environment (libpq's PGPASSWORD), never on the command line, and a spool
// of its own. Its adapters are simulated, so --history names the store.
std::unique_ptr<ChildProcess> startStation(const ServerDatabase &database, const std::filesystem::path &data,
                                           std::vector<std::string> arguments)
{
    std::filesystem::create_directories(data);
    const ScopedVariable password("PGPASSWORD", serverPassword(database.folder()));
    const ScopedVariable dataHome("XDG_DATA_HOME", data.string());
    arguments.insert(arguments.begin(), {"install", "--wait", "--json", "--history",
                                         serverUrl(database.folder(), database.name(), "")});
    return std::make_unique<ChildProcess>(VANTREL_FLASH, arguments);
}

json nextLine(ChildProcess &station)
{
    const std::optional<std::string> line = station.readLine();
    return line ? json::parse(*line) : json();
}

// The serial numbers the server holds, in the order it took them.
std::string serverOrder(const ServerDatabase &database, const std::string &where = "TRUE")
{
    return database.sql("SELECT string_agg(encode(serial, 'escape'), ',' ORDER BY seq) FROM vantrel_history WHERE " +
                        where);
}

}  // namespace

TEST(StationLine, SeveralStationsWriteIntoOneServerAtOnce)
{
    ServerDatabase database;
    TemporaryFolder folder;
    constexpr int stations = 4;
    std::vector<std::unique_ptr<ChildProcess>> line;
    for (int s = 0; s < stations; ++s) {
        const std::string prefix = "L" + std::to_string(s) + "-";
        line.push_back(startStation(
            database, folder / ("data-" + std::to_string(s)),
            {"--count", "3", "--if-needed", "--station", "line-" + std::to_string(s), "--simulate",
             "max,serial=" + prefix + "1,arrive=1,leave=5", "--simulate", "flex,serial=" + prefix + "2,arrive=6,leave=9",
             "--simulate", "msp430,serial=" + prefix + "3,installed,arrive=10"}));
    }
    for (int s = 0; s < stations; ++s) {
        SCOPED_TRACE("station " + std::to_string(s));
        const ChildProcess::Ending ending = line[static_cast<std::size_t>(s)]->wait();
        EXPECT_EQ(ending.exitCode, 0) << ending.err;
        std::size_t lines = 0;
        for (std::size_t start = 0, end; (end = ending.out.find('\n', start)) != std::string::npos; start = end + 1) {
            const json result = json::parse(ending.out.substr(start, end - start));
            EXPECT_EQ(result["history"]["stored"], true) << result.dump();
            ++lines;
        }
        EXPECT_EQ(lines, 3u);
        const std::string prefix = "L" + std::to_string(s) + "-";
        EXPECT_EQ(serverOrder(database, "station = 'line-" + std::to_string(s) + "'"),
                  prefix + "1," + prefix + "2," + prefix + "3");
    }
    EXPECT_EQ(database.sql("SELECT count(DISTINCT entry_id) FROM vantrel_history"), std::to_string(stations * 3));
    EXPECT_EQ(database.sql("SELECT count(*) FROM vantrel_history WHERE program = 'vantrel-flash'"),
              std::to_string(stations * 3));
}

// The stations below stop and start a server of their own, in real time:
// the adapters take as long as real ones, so that the server can go away
// while one is being installed.
class StationOutage : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(server("start", folder()), 0); }
    static void TearDownTestSuite() { server("stop", folder()); }
    static std::string folder() { return VANTREL_POSTGRES_FOLDER "-station"; }

    // The server gone, and back; back in any case for the next test.
    void halt()
    {
        ASSERT_EQ(server("halt", folder()), 0);
        halted_ = true;
    }
    void resume()
    {
        ASSERT_EQ(server("resume", folder()), 0);
        halted_ = false;
    }
    void TearDown() override
    {
        if (halted_)
            resume();
    }

    // A real-time station on this server: its first adapter stored, and
    // then the server gone.
    std::unique_ptr<ChildProcess> firstStoredThenServerGone(const std::vector<std::string> &arguments)
    {
        std::unique_ptr<ChildProcess> station = startStation(database, scratch / "data", arguments);
        const json first = nextLine(*station);
        EXPECT_EQ(first["history"]["stored"], true) << first.dump();
        halt();
        return station;
    }

    ServerDatabase database{folder()};
    TemporaryFolder scratch;

private:
    bool halted_ = false;
};

TEST_F(StationOutage, EntriesWaitWhileTheServerIsAwayAndArriveOnceInOrder)
{
    // The second plugged in while the first is installed, so that it ends
    // once the server is gone; the third once the server is back.
    const std::unique_ptr<ChildProcess> station = firstStoredThenServerGone(
        {"--count", "3", "--real-time", "--simulate", "max,serial=O1,port=1-1", "--simulate",
         "max,serial=O2,port=1-2,arrive=3",
         "--simulate", "max,serial=O3,port=1-3,arrive=12"});
    const json second = nextLine(*station);
    EXPECT_EQ(second["outcome"], "installed") << "the install goes on without the server";
    EXPECT_EQ(second["history"]["spooled"], true) << second.dump();
    EXPECT_EQ(second["history"]["errorKind"], "unreachable");
    EXPECT_EQ(second["history"]["waiting"], 1);
    resume();

    const json third = nextLine(*station);
    EXPECT_EQ(third["history"]["stored"], true) << third.dump();
    EXPECT_EQ(third["history"]["waiting"], 0) << "the spool was sent first";
    const ChildProcess::Ending ending = station->wait();
    EXPECT_EQ(ending.exitCode, 0) << ending.err;
    EXPECT_NE(ending.err.find("the history entry for O2 waits in the spool"), std::string::npos) << ending.err;
    EXPECT_EQ(serverOrder(database), "O1,O2,O3");
}

TEST_F(StationOutage, RequireHistoryStopsTheStationBeforeItsNextAdapter)
{
    const std::unique_ptr<ChildProcess> station =
        firstStoredThenServerGone({"--count", "2", "--real-time", "--require-history", "--simulate",
                                   "max,serial=R1,port=1-1", "--simulate", "max,serial=R2,port=1-2,arrive=8"});

    const ChildProcess::Ending ending = station->wait();
    EXPECT_EQ(ending.exitCode, 4) << ending.err;
    EXPECT_EQ(std::count(ending.out.begin(), ending.out.end(), '\n'), 1) << "no line for an adapter not begun";
    EXPECT_NE(ending.err.find("--require-history"), std::string::npos) << ending.err;
    EXPECT_NE(ending.err.find("cannot be reached"), std::string::npos) << ending.err;
    resume();
    EXPECT_EQ(serverOrder(database), "R1");
}
