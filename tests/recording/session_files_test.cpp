// Recording to a file and replaying from one, as the tool and the demo do.

#include "recording/session_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "recording/recording_format.h"
#include "tests/recording/session_runs.h"

namespace {

namespace fs = std::filesystem;

class SessionFiles : public testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() /
                      ("vantrel-recordings-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path file = folder / "session.jsonl";

    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    std::string messageOf(const std::function<void()> &operation)
    {
        try {
            operation();
        } catch (const recording::RecordingError &e) {
            return e.message;
        }
        return "(no error)";
    }

    // A listing of one Max, recorded to the file as the command `words`.
    SessionOutcome recordListing(const std::vector<std::string> &words)
    {
        platform::VirtualClock clock;
        const auto bus = platform::VirtualBus::create(clock);
        simulation::attachSimulatedAdapter(*bus, {16, "04020001", simulation::SimulatedFirmware::older, std::nullopt});
        recording::RecordSettings settings;
        settings.command = words;
        const auto recorder = recording::recordSession(file.string(), bus, clock, settings);
        const platform::ScopedServices services({&clock, recorder});
        const SessionOutcome outcome = listSession();
        EXPECT_TRUE(recorder->finish());
        return outcome;
    }
};

TEST_F(SessionFiles, ReplayTheCommandTheyRecorded)
{
    const SessionOutcome recorded = recordListing({"list"});
    const auto replay = recording::replaySession(file.string(), std::vector<std::string>{"list"});
    const platform::ScopedServices services(replay->services());
    EXPECT_EQ(listSession(), recorded);
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

TEST_F(SessionFiles, RefuseAnotherCommandAMissingFileAndABadOne)
{
    recordListing({"list"});
    const std::string path = file.string();
    EXPECT_EQ(messageOf([&] { recording::replaySession(path, std::vector<std::string>{"install", "--all"}); }),
              path + ": the recording is of \"list\", not of \"install --all\"");
    // The demo takes any command.
    EXPECT_EQ(messageOf([&] { recording::replaySession(path, std::nullopt); }), "(no error)");

    const std::string missing = (folder / "missing.jsonl").string();
    EXPECT_EQ(messageOf([&] { recording::replaySession(missing, std::nullopt); }),
              "cannot read the recording " + missing);
    EXPECT_EQ(messageOf([&] {
                  recording::recordSession((folder / "no-such-folder" / "x").string(), nullptr, platform::clock(), {});
              }),
              "cannot write the recording " + (folder / "no-such-folder" / "x").string() + ": no such folder");

    fs::resize_file(file, fs::file_size(file) - 10);
    EXPECT_EQ(messageOf([&] { recording::replaySession(path, std::nullopt); }).rfind(path + ": line ", 0), 0u);
}

TEST_F(SessionFiles, RefuseAFolderAndAFileLargerThanAnyRecording)
{
    // Sparse: it takes no room on the disk, and reads as zero bytes.
    const fs::path large = folder / "large.jsonl";
    std::ofstream(large, std::ios::binary).close();
    fs::resize_file(large, recording::maximumRecordingBytes + 1);
    struct Case {
        fs::path path;
        std::string message;
    };
    for (const Case &c : {
             Case{folder, "cannot read the recording " + folder.string() + ": it is a folder"},
             Case{large, large.string() + ": the file is larger than 64 MiB, which no recording is"},
         }) {
        SCOPED_TRACE(c.path.string());
        EXPECT_EQ(messageOf([&] { recording::replaySession(c.path.string(), std::nullopt); }), c.message);
    }
}

TEST_F(SessionFiles, KeepAnHourAtMostBetweenExchangesSoThatTheyStillRead)
{
    // A process stopped between two calls (a shell's Ctrl-Z) for two hours.
    platform::VirtualClock clock;
    const auto bus = platform::VirtualBus::create(clock);
    const std::int64_t twoHours = 2 * recording::maximumElapsedMicroseconds;
    {
        const auto recorder = recording::recordSession(file.string(), bus, clock, {});
        recorder->listDevices(platform::DeviceClass::usbDevice);
        clock.advanceMicroseconds(twoHours);
        recorder->listDevices(platform::DeviceClass::usbDevice);
        clock.advanceMicroseconds(twoHours);
        EXPECT_TRUE(recorder->finish());
    }
    const auto replay = recording::replaySession(file.string(), std::nullopt);
    const std::int64_t start = platform::microsecondsNow(replay->clock());
    replay->listDevices(platform::DeviceClass::usbDevice);
    replay->listDevices(platform::DeviceClass::usbDevice);
    EXPECT_EQ(platform::microsecondsNow(replay->clock()) - start, recording::maximumElapsedMicroseconds);
    EXPECT_EQ(replay->verdict(), std::nullopt);
    std::ifstream written(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find(R"({"op":"end","exchanges":2,"dt":3600000000})"), std::string::npos) << text;
}

}  // namespace
