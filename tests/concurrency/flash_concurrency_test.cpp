// vantrel-flash working on several adapters at once, run as a user runs it,
// on simulated adapters and the virtual clock: install --all on every
// adapter at once, a station taking adapters up as they arrive while others
// are worked on, and a stop that reaches every one of them. What the
// recording of each run says of its lanes shows what ran at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/flash_runs.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// When each lane of a recording made its first and its last call, in
// seconds since the recording began.
struct Span {
    double first = -1;
    double last = -1;
};

std::map<unsigned, Span> lanesOf(const fs::path &recording)
{
    std::map<unsigned, Span> spans;
    std::ifstream file(recording);
    std::int64_t at = 0;
    for (std::string line; std::getline(file, line);) {
        const json object = json::parse(line);
        if (!object.contains("n"))
            continue;
        at += object["dt"].get<std::int64_t>();
        Span &span = spans[object.value("lane", 0U)];
        if (span.first < 0)
            span.first = static_cast<double>(at) / 1e6;
        span.last = static_cast<double>(at) / 1e6;
    }
    return spans;
}

class FlashConcurrency : public testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() /
                      ("vantrel-flash-concurrency-" +
                       std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path recording = folder / "session.jsonl";

    void SetUp() override
    {
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
};

TEST_F(FlashConcurrency, AllAdaptersAtOnceEachReportedInTheOrderChosenOneFailureTouchingNoOther)
{
    const FlashRun run = flash({"--record", recording.string(), "install", "--all", "--json", "--simulate",
                                "max,serial=A", "--simulate", "max,serial=B,fault=erase", "--simulate",
                                "max,serial=C", "--simulate", "flex,serial=D"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.document["errorKind"], "erase-failed");
    const json &adapters = run.document["adapters"];
    ASSERT_EQ(adapters.size(), 4U);
    const char *serials[] = {"A", "B", "C", "D"};
    const char *outcomes[] = {"installed", "failed", "installed", "installed"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(adapters[i]["serial"], serials[i]);
        EXPECT_EQ(adapters[i]["outcome"], outcomes[i]) << adapters[i].dump();
        if (i != 1) {
            EXPECT_EQ(adapters[i]["simulated"]["flashCrc32"], adapters[i]["carriedCrc32"]);
        }
    }
    // Each in a lane of its own, all under way at once: the whole took as
    // long as the longest, not as the sum.
    const std::map<unsigned, Span> lanes = lanesOf(recording);
    ASSERT_EQ(lanes.size(), 5U) << "the command's own, and one for each adapter";
    double slowest = 0;
    for (const auto &[lane, span] : lanes) {
        if (lane == 0)
            continue;
        EXPECT_LT(span.first, 0.1) << lane;
        slowest = std::max(slowest, span.last);
    }
    EXPECT_NEAR(slowest, adapters[0]["durationSeconds"].get<double>(), 0.1);

    // And the recording replays lane by lane to the same results.
    const FlashRun replayed = flash({"--replay", recording.string(), "install", "--all", "--json"});
    EXPECT_EQ(replayed.exitCode, 1) << replayed.err;
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(replayed.document["adapters"][i]["outcome"], outcomes[i]);
        EXPECT_EQ(replayed.document["adapters"][i]["durationSeconds"], adapters[i]["durationSeconds"]);
    }
}

TEST_F(FlashConcurrency, AStationTakesEachAdapterUpAsItArrivesWhileOthersAreWorkedOn)
{
    // A and B arrive half a second apart; C is in for 200 ms while both are
    // worked on; A goes, and a new adapter comes in its place.
    const FlashRun run = flash({"--record", recording.string(), "install", "--wait", "--count", "4", "--json",
                                "--simulate", "max,serial=A,port=1-1,arrive=1,leave=20",
                                "--simulate", "max,serial=B,port=1-2,arrive=1.5,leave=20",
                                "--simulate", "flex,serial=C,port=1-3,arrive=3,leave=3.2",
                                "--simulate", "max,serial=A2,port=1-1,arrive=25"});
    EXPECT_EQ(run.exitCode, 1) << "C was pulled out mid-install";
    const std::vector<json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 4U) << run.out << run.err;
    const char *serials[] = {"C", "A", "B", "A2"};  // in the order they ended
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i]["serial"], serials[i]);
        EXPECT_EQ(lines[i]["sequence"], i + 1);
        EXPECT_EQ(lines[i]["outcome"], i == 0 ? "failed" : "installed") << lines[i].dump();
    }
    // Lanes in the order the adapters were taken up: A, B, C, A2. Each is
    // taken up within a few milliseconds of its arrival; B's and C's work
    // began while A's went on.
    const std::map<unsigned, Span> lanes = lanesOf(recording);
    ASSERT_EQ(lanes.size(), 5U);
    const double arrivals[] = {1, 1.5, 3, 25};
    for (unsigned lane = 1; lane <= 4; ++lane) {
        EXPECT_GE(lanes.at(lane).first, arrivals[lane - 1]) << lane;
        EXPECT_LT(lanes.at(lane).first, arrivals[lane - 1] + 0.05) << lane;
    }
    EXPECT_LT(lanes.at(2).first, lanes.at(1).last);
    EXPECT_LT(lanes.at(3).first, lanes.at(1).last);
}

TEST_F(FlashConcurrency, AStopStopsEveryInstallAndReportsEachInterrupted)
{
    ChildProcess install(VANTREL_FLASH, {"install", "--all", "--json", "--real-time", "--simulate", "max,serial=A",
                                         "--simulate", "max,serial=B", "--simulate", "arm-standard,serial=C"});
    // Within the first second every one of them is erasing or writing.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(install.pid(), SIGINT);
    const ChildProcess::Ending ending = install.wait();
    EXPECT_EQ(ending.exitCode, 130) << ending.err;
    const json document = json::parse(ending.out);
    EXPECT_EQ(document["outcome"], "interrupted");
    ASSERT_EQ(document["adapters"].size(), 3U);
    for (const json &adapter : document["adapters"]) {
        EXPECT_EQ(adapter["outcome"], "interrupted") << adapter.dump();
        EXPECT_EQ(adapter["flash"], "partly-written") << adapter.dump();
        EXPECT_TRUE(contains(ending.err, adapter["message"].get<std::string>())) << ending.err;
    }
    EXPECT_TRUE(contains(ending.err, "stopping the work on the adapters now")) << ending.err;
}

TEST_F(FlashConcurrency, SimulatedAdaptersShareOneBusWhoseBandwidthLimitsManyAtOnce)
{
    // The longest install of `adapters` Max adapters at once, in model time.
    const auto slowest = [](int adapters) {
        std::vector<std::string> arguments = {"install", "--all", "--json"};
        for (int i = 0; i < adapters; ++i)
            arguments.insert(arguments.end(), {"--simulate", "max,serial=M" + std::to_string(i)});
        const FlashRun run = flash(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        double longest = 0;
        for (const json &adapter : run.document["adapters"])
            longest = std::max(longest, adapter["durationSeconds"].get<double>());
        return longest;
    };
    const double one = slowest(1);
    // A few fit in the bus's bandwidth beside each other; sixteen do not.
    EXPECT_LT(slowest(4), one * 1.02);
    EXPECT_GT(slowest(16), one * 1.3);
}

}  // namespace
