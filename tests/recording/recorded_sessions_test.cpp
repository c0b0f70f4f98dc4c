// Sessions recorded on simulated adapters through the real engine, replayed
// through it again: the same outcome, messages and progress, and a recording
// of the replay that equals the original apart from its timings.

#include <regex>

#include "tests/recording/session_runs.h"

namespace {

using recording::SessionRecorder;
using recording::SessionReplay;
using simulation::SimulatedFault;
using simulation::SimulatedFirmware;

struct SessionCase {
    std::string name;
    std::vector<simulation::SimulatedAdapterSetup> adapters;
    bool install = true;  // else a listing
    std::string message = "";  // the recorded session's failure; "" for none
};

void PrintTo(const SessionCase &c, std::ostream *os) { *os << c.name; }

std::vector<SessionCase> sessionCases()
{
    std::vector<SessionCase> cases;
    // Installed firmware makes the variants that reboot into their boot
    // loader on connect go through the re-open.
    for (const Variant &variant : carriedVariants().rows()) {
        for (const SimulatedFirmware firmware : {SimulatedFirmware::none, SimulatedFirmware::older}) {
            cases.push_back({std::string(variant.toolName) + (firmware == SimulatedFirmware::none ? "_new" : "_older"),
                             {{variant.productId, "04020001", firmware, std::nullopt}}});
        }
    }
    cases.push_back({"busy", {{16, "04020001", SimulatedFirmware::none, SimulatedFault::busy}}, true,
                     "device already in use"});
    cases.push_back({"no_reply", {{16, "04020001", SimulatedFirmware::older, SimulatedFault::noReply}}, true,
                     "read operation timed out"});
    cases.push_back({"crc", {{4, "04020001", SimulatedFirmware::older, SimulatedFault::crc}}, true,
                     "Verify failed : crc check mismatch"});
    cases.push_back({"unplug", {{6, "04020001", SimulatedFirmware::none, SimulatedFault::unplug}}, true,
                     "Download failed : write operation failed"});
    cases.push_back({"unplug_ftdi", {{3, "04020001", SimulatedFirmware::none, SimulatedFault::unplug}}, true,
                     "Download failed : write timed out"});
    // Two adapters, one too old for the carried image, one silent, one fine.
    cases.push_back({"listing",
                     {{4, "04010007", SimulatedFirmware::older, std::nullopt},
                      {16, "04020001", SimulatedFirmware::carried, std::nullopt},
                      {16, "04020002", SimulatedFirmware::none, SimulatedFault::noReply}},
                     false});
    return cases;
}

std::string withoutTimes(const std::string &text)
{
    static const std::regex times("\"dt\":[0-9]+");
    return std::regex_replace(text, times, "\"dt\":0");
}

// The replay, recorded again as it happens.
struct Rerecorded {
    SessionOutcome outcome;
    std::optional<std::string> verdict;
    std::string text;
    std::int64_t endMicroseconds = 0;
};

Rerecorded replayAndRecord(const std::string &text, const Session &session)
{
    const std::shared_ptr<SessionReplay> replay = SessionReplay::create(parsed(text));
    auto out = std::make_unique<std::ostringstream>();
    std::ostringstream &again = *out;
    Rerecorded result;
    {
        auto recorder = std::make_shared<SessionRecorder>(replay, replay->clock(), std::move(out),
                                                          testSettings());
        const platform::ScopedServices services({&replay->clock(), recorder});
        result.outcome = session();
        recorder->finish();
        result.text = again.str();  // the recorder owns the stream
    }
    result.verdict = replay->verdict();
    result.endMicroseconds = static_cast<platform::VirtualClock &>(replay->clock()).nowMicroseconds();
    return result;
}

class RecordedSessions : public testing::TestWithParam<SessionCase> {};

TEST_P(RecordedSessions, ReplayThroughTheEngineAsRecorded)
{
    const SessionCase &c = GetParam();
    const Session session = c.install ? Session(installSession) : Session(listSession);
    const RecordedSession recorded = recordSimulated(c.adapters, session);
    ASSERT_EQ(recorded.outcome.message, c.message);

    const Rerecorded replayed = replayAndRecord(recorded.text, session);
    EXPECT_EQ(replayed.verdict, std::nullopt);
    EXPECT_EQ(replayed.outcome, recorded.outcome);
    EXPECT_EQ(withoutTimes(replayed.text), withoutTimes(recorded.text));
}

INSTANTIATE_TEST_SUITE_P(Simulated, RecordedSessions, testing::ValuesIn(sessionCases()),
                         [](const testing::TestParamInfo<SessionCase> &param) {
                             std::string name = param.param.name;
                             std::erase(name, '-');
                             return name;
                         });

TEST(RecordedSessionNotes, AreWhatTheSimulatedAdaptersShowed)
{
    // So that the replays above compare outcomes worth comparing.
    const SessionCase listing = sessionCases().back();
    const std::vector<std::string> notes = recordSimulated(listing.adapters, listSession).outcome.notes;
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], "04010007: not supported");
    EXPECT_EQ(notes[2], "04020002: read operation timed out");
    const SessionOutcome install =
        recordSimulated({{16, "04020001", SimulatedFirmware::older, std::nullopt}}, installSession).outcome;
    ASSERT_EQ(install.notes.size(), 2u);
    EXPECT_NE(install.notes[0], "before: not installed");
    EXPECT_NE(install.notes[1].find("04020001: "), std::string::npos);
    EXPECT_FALSE(install.reports.empty());
}

TEST(RecordedTime, PassesAgainInTheReplay)
{
    // The boot loader never answers: the recorded session waited out the
    // link's minute, and so does its replay, on the replay's clock.
    const RecordedSession recorded =
        recordSimulated({{16, "04020001", SimulatedFirmware::older, SimulatedFault::noReply}}, installSession);
    const Rerecorded replayed = replayAndRecord(recorded.text, installSession);
    EXPECT_GE(replayed.endMicroseconds, std::int64_t{adapterLinkTimeout} * 1000);
    EXPECT_LT(replayed.endMicroseconds, std::int64_t{adapterLinkTimeout + 1000} * 1000);
}

// --- hand-edited recordings ---------------------------------------------------

std::string edited(std::string text, const std::regex &pattern, const std::string &replacement)
{
    std::smatch match;
    EXPECT_TRUE(std::regex_search(text, match, pattern)) << "nothing to edit";
    return match.prefix().str() + std::regex_replace(match.str(), pattern, replacement) + match.suffix().str();
}

TEST(HandEditedRecordings, ReplayWhatTheEditSays)
{
    const RecordedSession recorded =
        recordSimulated({{16, "04020001", SimulatedFirmware::none, std::nullopt}}, installSession);
    ASSERT_EQ(recorded.outcome.message, "");

    // The connect reply (tag FE) with status 0 in place of 1.
    const std::string refusedConnect = edited(recorded.text, std::regex("\"data\":\"fe01\""), "\"data\":\"fe00\"");
    EXPECT_EQ(replay(refusedConnect, installSession).outcome.message, "connect failed");

    // The first verify reply (tag F8, then a byte the host passes over) with another CRC.
    const std::string otherCrc =
        edited(recorded.text, std::regex("\"data\":\"f800[0-9a-f]{8}\""), "\"data\":\"f80012345678\"");
    const ReplayedSession replayed = replay(otherCrc, installSession);
    EXPECT_EQ(replayed.outcome.message, "Verify failed : crc check mismatch");
    // The program gave up there and closed its link, where the recording
    // went on with the next verify command.
    ASSERT_TRUE(replayed.verdict);
    EXPECT_TRUE(std::regex_match(*replayed.verdict,
                                 std::regex("replay diverged at exchange [0-9]+: recorded a write of 13 bytes, asked "
                                            "for a close of handle 1")))
        << *replayed.verdict;
}

// --- a change to what the engine sends ----------------------------------------

TEST(EngineChanges, ShowAsADivergenceNamingTheExchange)
{
    // A download recorded with one image and replayed with one byte changed
    // in its second piece.
    const std::uint32_t address = 0x6000;
    std::vector<std::uint8_t> image(8192, 0x5A);
    const auto download = [&]() {
        SessionOutcome outcome;
        RecordingHost host;
        outcome.message = messageOf([&] {
            const UsbDeviceInfo device = attachedAdapters().at(0);
            std::unique_ptr<HDataLink> link = openAdapterLink(device);
            link->connect(true);
            FirmwareInstaller(device, link, true, host).download(*link, address, 8192, image.data());
        });
        return outcome;
    };
    const RecordedSession recorded =
        recordSimulated({{16, "04020001", SimulatedFirmware::none, std::nullopt}}, download);
    ASSERT_EQ(recorded.outcome.message, "(no exception)");

    image[4096 + 7] = 0xA5;
    const ReplayedSession replayed = replay(recorded.text, download);
    EXPECT_EQ(replayed.outcome.message, "Download failed : write operation failed");
    ASSERT_TRUE(replayed.verdict);
    EXPECT_TRUE(std::regex_match(*replayed.verdict,
                                 std::regex("replay diverged at exchange [0-9]+: recorded a write of 4096 bytes with "
                                            "CRC-32 [0-9A-F]{8} on pipe 2, slot 4, asked for a write of 4096 bytes "
                                            "with CRC-32 [0-9A-F]{8} on pipe 2, slot 4")))
        << *replayed.verdict;
}

}  // namespace
