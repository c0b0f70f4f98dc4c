// vantrel-flash --record and --replay, run as a user runs them: the
// recordings in tests/recordings/ replayed through the built tool, edited
// copies, recordings made and replayed again, anonymised ones, and files
// that are no recording.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli/flash_runs.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string readFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

fs::path committed(const std::string &name) { return fs::path(VANTREL_RECORDINGS) / (name + ".jsonl"); }

Arguments joined(Arguments arguments, const Arguments &more)
{
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

FlashRun replay(const fs::path &file, const Arguments &command)
{
    return flash(joined({"--replay", file.string(), "--json"}, command));
}

// What a replay cannot give the same: the time things took, and what only
// the simulator knows of its flash (not learnt through the device's replies).
json withoutTimesAndSimulatorFlash(json value)
{
    if (value.is_object()) {
        for (const char *key : {"durationSeconds", "simulated"})
            value.erase(key);
        for (auto &[key, member] : value.items())
            member = withoutTimesAndSimulatorFlash(member);
    } else if (value.is_array()) {
        for (json &element : value)
            element = withoutTimesAndSimulatorFlash(element);
    }
    return value;
}

// A folder of its own for the files a test makes.
class FlashRecordings : public testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() /
                      ("vantrel-flash-recordings-" +
                       std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));

    void SetUp() override
    {
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // A copy of a committed recording with its first `from` replaced by `to`,
    // as a person edits one.
    fs::path editedCopy(const std::string &name, const std::string &from, const std::string &to)
    {
        std::string text = readFile(committed(name));
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from << " in " << name;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        const fs::path copy = folder / (name + "-edited.jsonl");
        writeFile(copy, text);
        return copy;
    }
};

struct CommittedCase {
    const char *name;
    Arguments command;
    int exitCode;
    const char *outcome;
    const char *errorKind;  // null for a success
    const char *message;
    bool firmwareBefore = false;  // the adapter ran its firmware: the re-open path
};

void PrintTo(const CommittedCase &c, std::ostream *os) { *os << c.name; }

const std::vector<CommittedCase> &committedCases()
{
    static const std::vector<CommittedCase> cases = {
        {"install-arm-standard", {"install"}, 0, "installed", nullptr, ""},
        {"install-arm-basic", {"install"}, 0, "installed", nullptr, ""},
        {"install-flex", {"install"}, 0, "installed", nullptr, ""},
        {"install-msp430", {"install"}, 0, "installed", nullptr, ""},
        {"install-arm-basic-installed", {"install"}, 0, "installed", nullptr, "", true},
        {"install-flex-installed", {"install"}, 0, "installed", nullptr, "", true},
        {"install-max-installed", {"install"}, 0, "installed", nullptr, "", true},
        {"install-if-needed-current", {"install", "--if-needed"}, 0, "current", nullptr, "", true},
        {"verify", {"verify"}, 0, "verified", nullptr, "", true},
        {"verify-differs", {"verify"}, 1, "differs", "verify-mismatch",
         "the flash differs from the carried firmware in 2 of 8 pieces; the first is piece 3 at 0x1A00E000 (8192 bytes)",
         true},
        {"fail-busy", {"install"}, 1, "failed", "device-busy", "device already in use"},
        {"fail-no-reply", {"install"}, 1, "failed", "no-reply", "read operation timed out"},
        {"fail-crc", {"install"}, 1, "failed", "verify-mismatch", "Verify failed : crc check mismatch"},
        {"fail-unplug", {"install"}, 1, "failed", "link-failed", "Download failed : write operation failed"},
        // Stopped by Ctrl-C in the middle of the download: the replay stops there.
        {"interrupted-install", {"install"}, 130, "interrupted", "interrupted",
         "interrupted: Vantrel for ARM Standard VT100001 is left partly written; installing again repairs it"},
    };
    return cases;
}

class CommittedRecording : public testing::TestWithParam<CommittedCase> {};

TEST_P(CommittedRecording, ReplaysThroughTheToolWithTheRecordedOutcome)
{
    const CommittedCase &c = GetParam();
    const FlashRun run = replay(committed(c.name), c.command);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.document["exitCode"], c.exitCode);
    EXPECT_EQ(run.document["errorKind"], c.errorKind ? json(c.errorKind) : json(nullptr)) << run.err;
    ASSERT_EQ(run.document["adapters"].size(), 1U) << run.out;
    const json &result = run.document["adapters"][0];
    EXPECT_EQ(result["outcome"], c.outcome);
    EXPECT_EQ(result["errorKind"], c.errorKind ? json(c.errorKind) : json(nullptr));
    EXPECT_EQ(result["message"], c.message);
    EXPECT_EQ(result["versionBefore"] != nullptr, c.firmwareBefore);
    if (c.exitCode == 0) {
        EXPECT_EQ(result["versionAfter"], result["carriedVersion"]);
    }
    EXPECT_FALSE(result.contains("simulated")) << "a replay knows no simulated flash";
    EXPECT_FALSE(contains(run.err, "replay diverged")) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Recordings, CommittedRecording, testing::ValuesIn(committedCases()),
                         [](const testing::TestParamInfo<CommittedCase> &param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(CommittedRecordings, TheListingShowsEveryRecordedAdapter)
{
    const FlashRun run = replay(committed("list"), {"list"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.document["errorKind"], nullptr);
    const json &adapters = run.document["adapters"];
    ASSERT_EQ(adapters.size(), 5U) << run.out;
    EXPECT_EQ(adapters[0]["installedVersion"], adapters[0]["carriedVersion"]);
    EXPECT_EQ(adapters[1]["installedVersion"], nullptr);
    EXPECT_EQ(adapters[2]["supported"], false) << "a serial number too old for the carried image";
    EXPECT_EQ(adapters[3]["variant"], "Vantrel for MSP430 Standard");
    EXPECT_EQ(adapters[4]["errorKind"], "no-reply");
    EXPECT_EQ(adapters[4]["message"], "read operation timed out");

    // Without --json, as people read it: the recording's command leaves the
    // results' form open.
    const FlashRun text = flash({"--replay", committed("list").string(), "list"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(contains(text.out, "VT0004714")) << text.out;
    EXPECT_TRUE(contains(text.out, "(read operation timed out)")) << text.out;
}

TEST(CommittedRecordings, EachOneIsReplayedByTheTests)
{
    std::vector<std::string> known = {"list"};
    for (const CommittedCase &c : committedCases())
        known.push_back(c.name);
    for (const fs::directory_entry &entry : fs::directory_iterator(VANTREL_RECORDINGS)) {
        const std::string name = entry.path().stem().string();
        EXPECT_NE(std::find(known.begin(), known.end(), name), known.end())
            << entry.path() << " has no expected outcome here";
    }
}

TEST_F(FlashRecordings, AnEditedReplyIsWhatTheEngineSees)
{
    // The connect reply's status byte set to 0: the loader refuses.
    FlashRun refused = replay(editedCopy("install-flex", "\"data\":\"fe01\"", "\"data\":\"fe00\""), {"install"});
    EXPECT_EQ(refused.document["adapters"][0]["message"], "connect failed");
    EXPECT_EQ(refused.document["adapters"][0]["errorKind"], "connect-failed");

    // A verify reply (tag f8, status 00, then the CRC) carrying another CRC
    // than the flash's.
    const std::string text = readFile(committed("install-flex"));
    const std::size_t verifyReply = text.find("\"data\":\"f800");
    ASSERT_NE(verifyReply, std::string::npos);
    const std::string reply = text.substr(verifyReply, 20);
    std::string otherCrc = reply;
    otherCrc.back() = otherCrc.back() == '0' ? '1' : '0';
    FlashRun mismatch = replay(editedCopy("install-flex", reply, otherCrc), {"install"});
    EXPECT_EQ(mismatch.document["adapters"][0]["message"], "Verify failed : crc check mismatch");
    EXPECT_EQ(mismatch.document["adapters"][0]["errorKind"], "verify-mismatch");

    // Either way the engine then stops early, so the recording's rest goes
    // unasked, and the replay says where.
    for (FlashRun *run : {&refused, &mismatch}) {
        EXPECT_EQ(run->exitCode, 1);
        EXPECT_EQ(run->document["errorKind"], "replay-diverged");
        EXPECT_TRUE(contains(run->document["message"].get<std::string>(), "replay diverged at exchange "))
            << run->document["message"];
        EXPECT_TRUE(contains(run->err, "vantrel-flash: replay diverged at exchange ")) << run->err;
    }
}

TEST_F(FlashRecordings, AnEngineThatSendsOtherBytesDiverges)
{
    // The first erase command as recorded, with another CRC: as if the
    // engine now sent something else there.
    const std::string text = readFile(committed("install-flex"));
    const std::size_t erase = text.find("\"size\":13,\"crc\":\"");
    ASSERT_NE(erase, std::string::npos);
    const std::string recordedCrc = text.substr(erase + 17, 8);
    // The exchange's number, from the start of its line: {"n":N,...
    const std::size_t line = text.rfind('\n', erase) + 1;
    const std::string number = text.substr(line + 5, text.find(',', line) - line - 5);
    const FlashRun run = replay(editedCopy("install-flex", recordedCrc, "00000000"), {"install"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.document["errorKind"], "replay-diverged");
    const std::string message = run.document["message"];
    EXPECT_TRUE(message.starts_with("replay diverged at exchange " + number + ": recorded a write of 13 bytes"))
        << message;
    EXPECT_TRUE(contains(run.err, message)) << run.err;
}

struct RoundTrip {
    const char *name;
    Arguments command;  // with its simulated adapters
};

TEST_F(FlashRecordings, ARecordedCommandReplaysToTheSameResults)
{
    for (const RoundTrip &c : {
             RoundTrip{"re-open", {"install", "--simulate", "max,installed"}},
             RoundTrip{"all, one failing",
                       {"install", "--all", "--simulate", "flex,serial=A", "--simulate", "msp430,serial=B,fault=erase"}},
             RoundTrip{"if needed", {"install", "--if-needed", "--simulate", "arm-basic,damaged=2"}},
             RoundTrip{"verify", {"verify", "--simulate", "flex,installed,damaged=1"}},
             RoundTrip{"info", {"info", "--serial", "B", "--simulate", "max,serial=A", "--simulate", "flex,serial=B"}},
             RoundTrip{"none attached", {"verify", "--all"}},
             RoundTrip{"never back", {"install", "--simulate", "max,installed,fault=never-back"}},
             RoundTrip{"list", {"list", "--simulate", "max", "--simulate", "arm-standard,installed"}},
         }) {
        SCOPED_TRACE(c.name);
        const fs::path file = folder / "session.jsonl";
        const FlashRun recorded = flash(joined({"--record", file.string(), "--json"}, c.command));
        // The command as the recording names it: without its adapters' source.
        Arguments command;
        for (std::size_t i = 0; i < c.command.size(); ++i) {
            if (c.command[i] == "--simulate")
                ++i;
            else
                command.push_back(c.command[i]);
        }
        const FlashRun replayed = replay(file, command);
        EXPECT_EQ(replayed.exitCode, recorded.exitCode) << replayed.err;
        EXPECT_EQ(withoutTimesAndSimulatorFlash(replayed.document), withoutTimesAndSimulatorFlash(recorded.document));
        EXPECT_FALSE(contains(replayed.err, "replay diverged")) << replayed.err;
    }
}

TEST_F(FlashRecordings, AStationIsRecordedAndReplayedAdapterByAdapter)
{
    const fs::path file = folder / "station.jsonl";
    const Arguments command = {"install", "--wait", "--count", "2", "--if-needed"};
    const FlashRun recorded = flash(joined(joined({"--record", file.string(), "--json"}, command),
                                           {"--simulate", "max,serial=A,arrive=1,leave=10", "--simulate",
                                            "max,serial=B,installed,arrive=15"}));
    EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
    const FlashRun replayed = replay(file, command);
    EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
    const std::vector<json> recordedLines = jsonLines(recorded.out), replayedLines = jsonLines(replayed.out);
    ASSERT_EQ(replayedLines.size(), 2U) << replayed.out;
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(withoutTimesAndSimulatorFlash(replayedLines[i]), withoutTimesAndSimulatorFlash(recordedLines[i]));
    EXPECT_EQ(replayedLines[1]["outcome"], "current");
}

TEST_F(FlashRecordings, AStoppedStationLeavesAWholeRecordingThatReplaysToTheStop)
{
    const fs::path file = folder / "station.jsonl";
    ChildProcess station(VANTREL_FLASH, {"--record", file.string(), "install", "--wait", "--json", "--simulate",
                                         "flex,serial=A"});
    const std::optional<std::string> line = station.readLine();
    ASSERT_TRUE(line);
    kill(station.pid(), SIGINT);
    EXPECT_EQ(station.wait().exitCode, 130);
    const std::string text = readFile(file);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(contains(text.substr(text.rfind('\n', text.size() - 2)), "\"op\":\"end\"")) << "the end line";

    // The replay ends where the station was stopped, stopped as it was.
    const FlashRun replayed = replay(file, {"install", "--wait"});
    EXPECT_EQ(replayed.exitCode, 130) << replayed.err;
    EXPECT_TRUE(contains(replayed.err, "Station stopped after 1 adapter: 1 done.")) << replayed.err;
    const std::vector<json> lines = jsonLines(replayed.out);
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(withoutTimesAndSimulatorFlash(lines[0]), withoutTimesAndSimulatorFlash(json::parse(*line)));
}

TEST_F(FlashRecordings, AnInterruptedInstallReplaysToTheSameStop)
{
    // Stopped in the middle of a real-time install: the recording says where.
    const fs::path file = folder / "interrupted.jsonl";
    ChildProcess install(VANTREL_FLASH, {"--record", file.string(), "install", "--json", "--real-time", "--simulate",
                                         "arm-standard"});
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    kill(install.pid(), SIGINT);
    const ChildProcess::Ending recorded = install.wait();
    ASSERT_EQ(recorded.exitCode, 130) << recorded.err;
    const json recordedDocument = json::parse(recorded.out);
    ASSERT_EQ(recordedDocument["adapters"][0]["outcome"], "interrupted");

    const FlashRun replayed = replay(file, {"install"});
    EXPECT_EQ(replayed.exitCode, 130) << replayed.err;
    EXPECT_FALSE(contains(replayed.err, "diverged")) << replayed.err;
    EXPECT_EQ(withoutTimesAndSimulatorFlash(replayed.document), withoutTimesAndSimulatorFlash(recordedDocument));
}

TEST_F(FlashRecordings, TwoRecordersOnOneFileEachLeaveAWholeRecording)
{
    const fs::path file = folder / "same.jsonl";
    const Arguments arguments = {"--record", file.string(), "install", "--json", "--real-time", "--simulate",
                                 "msp430"};
    ChildProcess first(VANTREL_FLASH, arguments);
    ChildProcess second(VANTREL_FLASH, arguments);
    EXPECT_EQ(first.wait().exitCode, 0);
    EXPECT_EQ(second.wait().exitCode, 0);
    // The last to end wins, whole; nothing is left beside it.
    EXPECT_EQ(replay(file, {"install"}).exitCode, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "only the recording";
}

TEST_F(FlashRecordings, ASecondStopLeavesTheRecordingUnderANameThatSaysItIsUnfinished)
{
    const fs::path file = folder / "stopped-twice.jsonl";
    ChildProcess install(VANTREL_FLASH, {"--record", file.string(), "install", "--json", "--real-time",
                                         "--simulate", "max"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Both at once: the second is taken as soon as the first has been.
    kill(install.pid(), SIGINT);
    kill(install.pid(), SIGTERM);
    const ChildProcess::Ending ending = install.wait();
    EXPECT_TRUE(ending.signal == SIGINT || ending.signal == SIGTERM) << "ended at once, by the second signal";
    const fs::path unfinished = file.string() + ".unfinished-" + std::to_string(install.pid());
    EXPECT_TRUE(contains(ending.err, "a second stop: ended at once; the unfinished recording is left in " +
                                         unfinished.string()))
        << ending.err;
    EXPECT_TRUE(fs::exists(unfinished));
    EXPECT_FALSE(fs::exists(file)) << "no half recording under the name asked for";
}

TEST_F(FlashRecordings, AnAnonymisedRecordingHidesTheAdaptersAndStillReplays)
{
    const Arguments adapters = {"--simulate", "max,serial=VT0004711,port=1-4", "--simulate",
                                "flex,serial=VT0004712,port=1-5"};
    struct Case {
        Arguments recorded;
        Arguments replayed;
    };
    for (const Case &c : {Case{{"install", "--serial", "VT0004712"}, {"install", "--serial", "serial-1"}},
                          Case{{"verify", "--port", "1-4"}, {"verify", "--port", "device-1"}}}) {
        SCOPED_TRACE(c.recorded[1]);
        const fs::path file = folder / "anonymised.jsonl";
        const FlashRun recorded =
            flash(joined(joined({"--record", file.string(), "--anonymise", "--json"}, c.recorded), adapters));
        const std::string text = readFile(file);
        for (const char *identity : {"VT000471", "1-4", "1-5"})
            EXPECT_FALSE(contains(text, identity)) << identity;

        const FlashRun replayed = replay(file, c.replayed);
        EXPECT_EQ(replayed.exitCode, recorded.exitCode) << replayed.err;
        ASSERT_EQ(replayed.document["adapters"].size(), 1U) << replayed.out;
        const json &result = replayed.document["adapters"][0];
        EXPECT_EQ(result["variant"], recorded.document["adapters"][0]["variant"]);
        EXPECT_EQ(result["outcome"], recorded.document["adapters"][0]["outcome"]);
        EXPECT_TRUE(result["serial"].get<std::string>().starts_with("serial-")) << result["serial"];
        EXPECT_TRUE(result["port"].get<std::string>().starts_with("device-")) << result["port"];
    }
}

TEST_F(FlashRecordings, WhatIsNoRecordingOfTheCommandIsRefusedBeforeAnythingRuns)
{
    const std::string whole = readFile(committed("fail-busy"));
    const std::string header = whole.substr(0, whole.find('\n') + 1);
    struct Case {
        const char *name;
        std::optional<std::string> text;  // none: no such file
        const char *says;
    };
    for (const Case &c : {
             Case{"missing", std::nullopt, "cannot read the recording "},
             Case{"empty", "", "the file is empty"},
             Case{"not a recording", "Vantrel Max VT0004711\n", "not a recording of a device session"},
             Case{"cut short", whole.substr(0, whole.rfind("{\"op\":\"end\"")), "the recording is cut short"},
             Case{"cut inside a line", whole.substr(0, whole.size() / 2), ": line "},
             Case{"unknown version", "{\"recording\":\"vantrel-update session\",\"version\":7,\"command\":[\"install\"]}\n"
                                     "{\"op\":\"end\",\"exchanges\":0,\"dt\":0}\n",
                  "format version 7"},
             Case{"malformed exchange", header + "{\"n\":1,\"dt\":0,\"op\":\"teleport\"}\n", ": line 2: "},
             Case{"binary", std::string("\x00\xff\x1f\x8b", 4), "not a recording of a device session"},
             Case{"another command", whole, "the recording is of \"install\", not of \"verify\""},
             Case{"time beyond an hour",
                  header + "{\"n\":1,\"dt\":9223372036854775807,\"op\":\"slot\",\"handle\":1}\n"
                           "{\"op\":\"end\",\"exchanges\":1,\"dt\":0}\n",
                  ": line 2: \"dt\" is more than an hour"},
         }) {
        SCOPED_TRACE(c.name);
        const fs::path file = folder / "bad.jsonl";
        fs::remove(file);
        if (c.text)
            writeFile(file, *c.text);
        // On the real clock, where a recorded time without bound would be waited out.
        const FlashRun run =
            replay(file, {std::string(c.name) == "another command" ? "verify" : "install", "--real-time"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.document["errorKind"], "bad-recording");
        EXPECT_EQ(run.document["adapters"], json::array()) << "nothing ran";
        const std::string message = run.document["message"];
        EXPECT_TRUE(contains(message, file.string())) << message;
        EXPECT_TRUE(contains(message, c.says)) << message;
        EXPECT_EQ(run.err, "vantrel-flash: " + message + "\n");
    }
}

TEST_F(FlashRecordings, WhatIsNoFileIsRefusedWithoutReadingOnAndOn)
{
    // A folder and a pipe fail or block a read; a device may never end, or
    // fail as it is read.
    const fs::path pipe = folder / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string special = ": it is a device or another special file, not a file";
    struct Case {
        fs::path path;
        std::string says;
    };
    for (const Case &c : {
             Case{folder, ": it is a folder"},
             Case{pipe, special},
             Case{"/dev/zero", special},
             Case{"/dev/urandom", special},
             Case{"/proc/self/mem", ": the system failed to read it"},
         }) {
        SCOPED_TRACE(c.path);
        const FlashRun run = replay(c.path, {"list"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.document["errorKind"], "bad-recording");
        EXPECT_EQ(run.document["message"], "cannot read the recording " + c.path.string() + c.says);
        EXPECT_EQ(run.err, "vantrel-flash: " + run.document["message"].get<std::string>() + "\n");
    }
}

TEST_F(FlashRecordings, ARecordingThatCannotBeWrittenIsAFailure)
{
    const std::string nowhere = (folder / "no-such-folder" / "session.jsonl").string();
    const FlashRun unopened = flash({"--record", nowhere, "install", "--json", "--simulate", "max"});
    EXPECT_EQ(unopened.exitCode, 2);
    EXPECT_EQ(unopened.document["errorKind"], "recording-failed");
    EXPECT_EQ(unopened.document["message"], "cannot write the recording " + nowhere + ": no such folder");
    EXPECT_EQ(unopened.document["adapters"], json::array()) << "nothing ran";

    // A full disk: the install itself went well, the recording did not.
    const FlashRun full = flash({"--record", "/dev/full", "install", "--json", "--simulate", "flex"});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.document["errorKind"], "recording-failed");
    EXPECT_EQ(full.document["message"], "the recording /dev/full could not be written whole: the disk is full");
    EXPECT_EQ(full.document["adapters"][0]["outcome"], "installed");
}

}  // namespace
