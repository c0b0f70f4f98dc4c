// End-to-end runs of the built vantrel-flash against simulated adapters.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>

#include <nlohmann/json.hpp>

#include "platform/device_text.h"
#include "tests/cli/flash_runs.h"

namespace {

using nlohmann::json;

TEST(VantrelFlash, ListsEveryAdapterWithItsVersions)
{
    const FlashRun run = flash({"list", "--json", "--simulate", "arm-standard", "--simulate", "arm-basic,installed",
                                "--simulate", "max", "--simulate", "flex,installed", "--simulate", "msp430",
                                "--simulate", "arm-basic,serial=0401FFFF", "--simulate", "max,serial=P,port=2-4.1"});
    ASSERT_EQ(run.exitCode, 0);
    const json &adapters = run.document["adapters"];
    ASSERT_EQ(adapters.size(), 7U);
    EXPECT_EQ(adapters[0]["variant"], "Vantrel for ARM Standard");
    EXPECT_EQ(adapters[0]["installedVersion"], nullptr);
    EXPECT_EQ(adapters[1]["installedVersion"], adapters[1]["carriedVersion"]);
    EXPECT_EQ(adapters[3]["installedVersion"], "1.9 - Build: 1909 (placeholder)");
    EXPECT_EQ(adapters[4]["productId"], 5);
    EXPECT_EQ(adapters[5]["supported"], false);
    EXPECT_EQ(adapters[5]["variant"], nullptr);
    EXPECT_EQ(adapters[6]["port"], "2-4.1");
    for (const json &adapter : adapters)
        EXPECT_EQ(adapter["errorKind"], nullptr);

    const FlashRun text = flash({"list", "--simulate", "max,port=1-7"});
    EXPECT_TRUE(contains(text.out, "Vantrel Max"));
    EXPECT_TRUE(contains(text.out, "Not Installed"));
    EXPECT_TRUE(contains(text.out, "PORT"));
    EXPECT_TRUE(contains(text.out, " 1-7\n"));
}

TEST(VantrelFlash, InfoShowsTheReleaseHistory)
{
    const FlashRun run = flash({"info", "--json", "--simulate", "flex,serial=F1", "--simulate", "max,serial=M1",
                                "--serial", "M1"});
    ASSERT_EQ(run.exitCode, 0);
    const json &adapter = run.document["adapters"][0];
    EXPECT_EQ(adapter["serial"], "M1");
    EXPECT_EQ(adapter["imageSize"], 349968);
    EXPECT_TRUE(contains(adapter["releaseNotes"].get<std::string>(), "release history"));
}

struct InstallCase {
    const char *name;
    const char *simulate;
    int exitCode;
    const char *message;
    const char *errorKind;  // null for a success
    bool flashHoldsImage;
};

void PrintTo(const InstallCase &c, std::ostream *os) { *os << c.name; }

class VantrelFlashInstall : public testing::TestWithParam<InstallCase> {};

TEST_P(VantrelFlashInstall, ReportsTheOutcomeAndLeavesTheFlashAsItSays)
{
    const InstallCase &c = GetParam();
    const FlashRun run = flash({"install", "--json", "--simulate", c.simulate});
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.document["exitCode"], c.exitCode);
    const json &result = run.document["adapters"][0];
    EXPECT_EQ(result["message"], c.message);
    const bool success = c.exitCode == 0;
    EXPECT_EQ(result["outcome"], success ? "installed" : "failed");
    EXPECT_EQ(result["errorKind"], c.errorKind ? json(c.errorKind) : json(nullptr));
    EXPECT_EQ(run.document["errorKind"], result["errorKind"]) << "the document names the first failure's kind";
    EXPECT_EQ(result["simulated"]["flashCrc32"] == result["carriedCrc32"], c.flashHoldsImage);
    if (success) {
        EXPECT_NE(result["versionAfter"], nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, VantrelFlashInstall,
    testing::Values(
        InstallCase{"ArmStandard", "arm-standard", 0, "", nullptr, true},
        InstallCase{"ArmBasic", "arm-basic", 0, "", nullptr, true},
        InstallCase{"Max", "max", 0, "", nullptr, true}, InstallCase{"Flex", "flex", 0, "", nullptr, true},
        InstallCase{"Msp430", "msp430", 0, "", nullptr, true},
        InstallCase{"Reenumerating", "max,installed", 0, "", nullptr, true},
        InstallCase{"ConnectFails", "max,fault=connect", 1, "connect failed", "connect-failed", false},
        InstallCase{"EraseFails", "flex,fault=erase", 1, "Erase failed : memory erase failed", "erase-failed", false},
        InstallCase{"WriteFails", "arm-standard,fault=write", 1, "Download failed : memory write failed",
                    "write-failed", false},
        // The flash was written; only its check failed.
        InstallCase{"VerifyFails", "msp430,fault=verify", 1,
                    "Verify failed : hardware error: target JTAG adapter data link read timed out", "verify-failed",
                    true},
        InstallCase{"CrcMismatch", "max,fault=crc", 1, "Verify failed : crc check mismatch", "verify-mismatch", true},
        InstallCase{"DisconnectFails", "flex,fault=disconnect", 1, "disconnect failed", "disconnect-failed", true},
        InstallCase{"NoReply", "max,fault=no-reply", 1, "read operation timed out", "no-reply", false},
        InstallCase{"Busy", "max,fault=busy", 1, "device already in use", "device-busy", false},
        // Pulled out mid-download: the link failed, in the download task.
        InstallCase{"Unplugged", "flex,fault=unplug", 1, "Download failed : write operation failed", "link-failed",
                    false},
        InstallCase{"NeverBack", "max,installed,fault=never-back", 1, "cannot open device driver", "not-back",
                    true}),
    [](const testing::TestParamInfo<InstallCase> &param) { return std::string(param.param.name); });

TEST(VantrelFlash, InstallAllGoesOnPastAFailure)
{
    const FlashRun run = flash({"install", "--all", "--json", "--simulate", "max,serial=A", "--simulate",
                                "flex,serial=B,fault=write", "--simulate", "msp430,serial=C,installed"});
    EXPECT_EQ(run.exitCode, 1);
    const json &results = run.document["adapters"];
    ASSERT_EQ(results.size(), 3U);
    EXPECT_EQ(results[0]["outcome"], "installed");
    EXPECT_EQ(results[1]["outcome"], "failed");
    EXPECT_EQ(results[1]["message"], "Download failed : memory write failed");
    EXPECT_EQ(results[2]["outcome"], "installed");
    EXPECT_EQ(results[2]["versionBefore"], results[2]["versionAfter"]);
}

TEST(VantrelFlash, AReReadThatCannotTellTwinsApartIsNoSuccess)
{
    // Two adapters that look the same, in the same place: the re-read must
    // not report the other's version.
    const FlashRun run =
        flash({"install", "--all", "--json", "--simulate", "max,serial=TWIN,port=1-1", "--simulate", "max,serial=TWIN,port=1-1"});
    EXPECT_EQ(run.exitCode, 1);
    for (const json &result : run.document["adapters"]) {
        EXPECT_EQ(result["message"], "the installed adapter cannot be told apart from another one");
        EXPECT_EQ(result["errorKind"], "ambiguous");
    }
}

TEST(VantrelFlash, ChoosingAnAdapter)
{
    const FlashRun several = flash({"install", "--json", "--simulate", "max", "--simulate", "flex"});
    EXPECT_EQ(several.exitCode, 3);
    EXPECT_EQ(several.document["errorKind"], "ambiguous");
    EXPECT_EQ(several.document["candidates"].size(), 2U);
    EXPECT_EQ(several.document["adapters"], json::array()) << "nothing was worked on";

    const FlashRun unknown = flash({"info", "--json", "--serial", "NOPE", "--simulate", "max"});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_EQ(unknown.document["errorKind"], "not-found");
    EXPECT_EQ(unknown.document["candidates"][0]["variant"], "Vantrel Max");

    const FlashRun nothing = flash({"install", "--json", "--all"});
    EXPECT_EQ(nothing.exitCode, 3);
    EXPECT_EQ(nothing.document["errorKind"], "not-found");

    const FlashRun unsupported = flash({"install", "--json", "--simulate", "arm-basic,serial=0401", "--serial", "0401"});
    EXPECT_EQ(unsupported.exitCode, 1) << "an unsupported adapter asked for by name";
    EXPECT_EQ(unsupported.document["adapters"][0]["message"],
              "The attached Vantrel is not supported by Vantrel Update.");
    EXPECT_EQ(unsupported.document["adapters"][0]["errorKind"], "unsupported");
}

TEST(VantrelFlash, EqualSerialNumbersAreRefusedAndThePortTellsThemApart)
{
    const Arguments twins = {"--json", "--simulate", "max,serial=A,port=1-2", "--simulate", "flex,serial=A,port=1-3"};
    auto with = [&](Arguments arguments) {
        arguments.insert(arguments.end(), twins.begin(), twins.end());
        return flash(arguments);
    };
    const FlashRun bySerial = with({"install", "--serial", "A"});
    EXPECT_EQ(bySerial.exitCode, 3);
    EXPECT_EQ(bySerial.document["errorKind"], "ambiguous");
    EXPECT_EQ(bySerial.document["message"], "2 adapters with serial number A: choose one with --port");
    ASSERT_EQ(bySerial.document["candidates"].size(), 2U);
    EXPECT_EQ(bySerial.document["candidates"][0]["port"], "1-2");
    EXPECT_EQ(bySerial.document["candidates"][1]["port"], "1-3");
    EXPECT_EQ(bySerial.document["adapters"], json::array()) << "nothing was installed";

    const FlashRun byPort = with({"install", "--port", "1-3"});
    EXPECT_EQ(byPort.exitCode, 0);
    ASSERT_EQ(byPort.document["adapters"].size(), 1U);
    EXPECT_EQ(byPort.document["adapters"][0]["variant"], "Vantrel Flex");
    EXPECT_EQ(byPort.document["adapters"][0]["port"], "1-3");

    EXPECT_EQ(with({"info", "--port", "1-2"}).document["adapters"][0]["variant"], "Vantrel Max");
    const FlashRun elsewhere = with({"verify", "--port", "9-9"});
    EXPECT_EQ(elsewhere.exitCode, 3);
    EXPECT_EQ(elsewhere.document["errorKind"], "not-found");
    EXPECT_EQ(elsewhere.document["message"], "no adapter with port 9-9");
}

TEST(VantrelFlash, ASelectionThatMatchesNothingIsEchoedAsTyped)
{
    // Typed in UTF-8 (the terminal's), and the same letters as 8-bit bytes.
    const struct {
        std::string serial;
        const char *shown;  // UTF-8
    } cases[] = {{"Z\xC3\xA9", "Z\xC3\xA9"}, {"Z\xE9", "Z\xC3\xA9"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.serial);
        const FlashRun run = flash({"install", "--json", "--serial", c.serial, "--simulate", "max"});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.document["message"], std::string("no adapter with serial number ") + c.shown);
    }
}

TEST(VantrelFlash, UsageErrorsSayWhatIsWrongInOneLine)
{
    const std::vector<Arguments> mistakes = {
        {},
        {"frobnicate"},
        {"install", "--serial", "--all"},
        {"list", "--bogus"},
        {"install", "--serial"},
        {"install", "--serial", ""},
        {"verify", "--port", ""},
        {"list", "--simulate", "toaster"},
        {"install", "--all", "--serial", "X"},
        {"install", "--port", "1-1", "--serial", "X"},
        {"list", "extra"},
        {"list", "--simulate", "max,fault=melt"},
        {"list", "--simulate", "max,damaged=x"},
        {"list", "--simulate", "max,damaged=43"},
        {"verify", "--if-needed"},
        {"verify", "--wait"},
        {"install", "--count", "2"},
        {"install", "--wait", "--count", "0"},
        {"install", "--wait", "--all"},
        {"install", "--anonymise"},
        {"install", "--record"},
        {"install", "--replay", ""},
        {"list", "--record", "a.jsonl", "--replay", "b.jsonl"},
        {"list", "--replay", "a.jsonl", "--anonymise"},
        {"list", "--replay", "a.jsonl", "--simulate", "max"},
        {"list", "--simulate", "max,fault=busy,fault=crc"},
        {"list", "--simulate", "max,serial=A,serial=B"},
        {"list", "--simulate", "max,arrive=5,leave=2"},
        {"install", "--serial", "A", "--serial", "B"},
        {"verify", "--port", "1-1", "--port", "1-2"},
        {"list", "--record", "a.jsonl", "--record", "b.jsonl"},
        // Every option once, flags too; and none that changes nothing for its command.
        {"list", "--all", "--all"},
        {"install", "--if-needed", "--if-needed"},
        {"list", "--real-time"},
        {"list", "--serial", "X"},
        {"install", "--json=yes"},
        {"install", "--serial="},
        {"install", "--", "--serial", "X"},
        {"-x", "list"},
    };
    for (const Arguments &arguments : mistakes) {
        std::string shown;
        for (const std::string &argument : arguments)
            shown += "[" + argument + "] ";
        SCOPED_TRACE(shown);
        const FlashRun text = flash(arguments);
        EXPECT_EQ(text.exitCode, 2);
        EXPECT_EQ(text.out, "");
        ASSERT_FALSE(text.err.empty());
        EXPECT_EQ(text.err.find('\n'), text.err.size() - 1) << "one line: " << text.err;
        EXPECT_EQ(text.err.rfind("vantrel-flash: ", 0), 0U) << text.err;
        EXPECT_TRUE(contains(text.err, "try vantrel-flash --help")) << text.err;

        // After "--" no word is an option, --json neither.
        if (has(arguments, "--"))
            continue;
        Arguments withJson = arguments;
        withJson.push_back("--json");
        const FlashRun asJson = flash(withJson);
        EXPECT_EQ(asJson.exitCode, 2);
        EXPECT_EQ(asJson.document["errorKind"], "usage");
        EXPECT_EQ(asJson.document["exitCode"], 2);
        EXPECT_FALSE(asJson.document["message"].get<std::string>().empty());
        if (std::find(arguments.begin(), arguments.end(), "--wait") != arguments.end()) {
            EXPECT_EQ(asJson.out.find('\n'), asJson.out.size() - 1) << "a station's reader takes JSON Lines: " << asJson.out;
        }
    }
    const FlashRun help = flash({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "Exit codes"));
    EXPECT_TRUE(contains(help.out, "verify-mismatch"));
    EXPECT_TRUE(contains(help.out, "never-back")) << "the faults come from the one fault list";
    EXPECT_TRUE(contains(help.out, "\n  --record FILE ")) << "an option on a line of its own, for the manual page";
    EXPECT_TRUE(contains(help.out, "replay-diverged"));
}

TEST(VantrelFlash, TakesTheGnuFormsOfOptions)
{
    const Arguments twins = {"--simulate", "max,serial=A,port=1-2", "--simulate", "flex,serial=B,port=1-3"};
    auto with = [&](Arguments arguments) {
        arguments.insert(arguments.end(), twins.begin(), twins.end());
        return flash(arguments);
    };
    // A value glued to its option, and the options before the command.
    const FlashRun glued = with({"--json", "--serial=B", "info"});
    EXPECT_EQ(glued.exitCode, 0) << glued.err;
    EXPECT_EQ(glued.document["adapters"][0]["serial"], "B");
    // A value that begins with a dash, given with "=" or as the next word.
    EXPECT_EQ(with({"info", "--json", "--serial=-A"}).document["message"], "no adapter with serial number -A");
    EXPECT_EQ(with({"info", "--json", "--serial", "-A"}).document["message"], "no adapter with serial number -A");
    // "--" ends the options: what follows is the command.
    Arguments ended = twins;
    ended.insert(ended.end(), {"--json", "--port", "1-3", "--", "info"});
    EXPECT_EQ(flash(ended).document["adapters"][0]["serial"], "B");
    // -V is --version.
    const FlashRun version = flash({"-V"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, flash({"--version"}).out);
}

TEST(VantrelFlash, ARecordingNamesTheCommandAsItsOptionsMeanItWhateverTheirOrder)
{
    const std::string file = testing::TempDir() + "vantrel-flash-command-words.jsonl";
    for (const Arguments &typed : {Arguments{"install", "--if-needed", "--port", "1-1"},
                                   Arguments{"--port=1-1", "--if-needed", "install"}}) {
        Arguments arguments = {"--record", file, "--simulate", "max,port=1-1,installed"};
        arguments.insert(arguments.end(), typed.begin(), typed.end());
        ASSERT_EQ(flash(arguments).exitCode, 0);
        std::ifstream recording(file);
        std::string header;
        std::getline(recording, header);
        EXPECT_EQ(json::parse(header)["command"], (json{"install", "--port", "1-1", "--if-needed"})) << header;
    }
    std::remove(file.c_str());
}

TEST(VantrelFlash, TheTimeOutBoundsEveryWaitOnTheAdapter)
{
    // Simulated time: the wait is told, not waited.
    for (const auto &[timeout, seconds] : {std::pair{"", 60.0}, std::pair{"2.5", 2.5}}) {
        Arguments arguments = {"install", "--json", "--simulate", "max,fault=no-reply"};
        if (*timeout)
            arguments.insert(arguments.end(), {"--timeout", timeout});
        const FlashRun run = flash(arguments);
        EXPECT_EQ(run.document["errorKind"], "no-reply");
        EXPECT_NEAR(run.document["adapters"][0]["durationSeconds"].get<double>(), seconds, 0.1) << timeout;
    }
    for (const char *wrong : {"0", "-1", "x", "3601"})
        EXPECT_EQ(flash({"install", "--timeout", wrong, "--simulate", "max"}).exitCode, 2) << wrong;
}

TEST(VantrelFlash, ACountOutOfRangeSaysWhatItTakes)
{
    for (const char *count : {"0", "-1", "4294967296", "99999999999999999999999", "2x", "1.5"}) {
        SCOPED_TRACE(count);
        const FlashRun run = flash({"install", "--wait", "--count", count, "--simulate", "max"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(contains(run.err, "--count wants a number of adapters from 1 to 4294967295, not \"" +
                                          std::string(count) + "\""))
            << run.err;
    }
}

TEST(VantrelFlash, DeviceTextReachesJsonWhateverItsBytes)
{
    // 8-bit text as a device may report it: Latin-1, not UTF-8.
    const std::string serial = "a\xff" "b\xe9";
    const std::string serialInJson = "a\u00ff" "b\u00e9";
    const FlashRun install = flash({"install", "--json", "--simulate", "max,serial=" + serial});
    EXPECT_EQ(install.exitCode, 0);
    EXPECT_EQ(install.document["adapters"][0]["serial"], serialInJson);
    EXPECT_EQ(install.document["adapters"][0]["outcome"], "installed");

    for (const char *command : {"list", "info", "verify"}) {
        SCOPED_TRACE(command);
        const FlashRun run = flash({command, "--json", "--simulate", "flex,serial=" + serial});
        EXPECT_EQ(run.document["adapters"][0]["serial"], serialInJson);
    }

    const FlashRun unknown = flash({"install", "--json", "--serial", "x\xff", "--simulate", "max,serial=" + serial});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_EQ(unknown.document["message"], "no adapter with serial number x\u00ff");
    EXPECT_EQ(unknown.document["candidates"][0]["serial"], serialInJson);

    // The serial number as the JSON shows it selects the adapter too.
    EXPECT_EQ(flash({"info", "--json", "--serial", serialInJson, "--simulate", "max,serial=" + serial}).exitCode, 0);
    EXPECT_EQ(flash({"info", "--json", "--serial", serial, "--simulate", "max,serial=" + serial}).exitCode, 0);

    const FlashRun usage = flash({"install", "--json", "--simulate", "max,\xfe"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(contains(usage.document["message"].get<std::string>(), "\u00fe"));
}

// Device text that tries to take over the terminal: a window title, a
// screen wipe, an 8-bit control sequence introducer, and a Latin-1 letter.
const std::string hostileSerial = "\x1b]0;owned\a\x1b[2J\x9b" "1m\xe9";
const std::string hostileShown = "\\x1B]0;owned\\x07\\x1B[2J\\x9B1m\u00e9";

// Whether a terminal shows `written` as the text it is: well-formed UTF-8
// with no control character but the line feed.
bool onlyText(const std::string &written)
{
    const std::optional<std::string> characters = platform::exactLatin1FromUtf8(written);
    if (!characters)
        return false;
    return std::all_of(characters->begin(), characters->end(), [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return c == '\n' || (code >= 0x20 && code != 0x7F && (code < 0x80 || code >= 0xA0));
    });
}

TEST(VantrelFlash, DeviceTextReachesTheTerminalAsTextThatCannotDriveIt)
{
    const std::string hostile = "serial=" + hostileSerial;
    const struct {
        const char *what;
        Arguments arguments;
    } cases[] = {
        {"the list's table", {"list", "--simulate", "max," + hostile}},
        {"info", {"info", "--simulate", "flex,installed," + hostile}},
        {"an install's lines", {"install", "--simulate", "max," + hostile}},
        {"a verify that passes", {"verify", "--simulate", "max,installed," + hostile}},
        {"a verify that finds a difference", {"verify", "--simulate", "max,installed,damaged=2," + hostile}},
        {"an unsupported adapter passed over", {"install", "--all", "--simulate", "msp430," + hostile}},
        {"the adapters listed when none is chosen", {"install", "--serial", "X", "--simulate", "max," + hostile}},
        {"the station asking for the next", {"install", "--wait", "--count", "2", "--simulate", "max,leave=900," +
                                             hostile, "--simulate", "max,serial=B,arrive=1000"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const FlashRun run = flash(c.arguments, ChildProcess::Errors::merged);
        EXPECT_TRUE(onlyText(run.out)) << run.out;
        EXPECT_TRUE(contains(run.out, hostileShown)) << run.out;
    }

    // What the terminal shows is what --serial takes to choose the adapter.
    EXPECT_EQ(flash({"info", "--serial", hostileShown, "--simulate", "max,serial=" + hostileSerial}).exitCode, 0);
}

TEST(VantrelFlash, TheListsColumnsStayInLineWhateverTheSerialNumbers)
{
    const FlashRun run = flash({"list", "--simulate", "max,serial=A,port=1-7", "--simulate",
                                "flex,port=1-8,serial=VT-A-SERIAL-NUMBER-LONGER-THAN-ANY-COLUMN-\xe9\x1b",
                                "--simulate", "msp430,serial=Z,port=1-9"});
    ASSERT_EQ(run.exitCode, 0);
    // Columns count characters, not the bytes of their UTF-8.
    const auto columnOf = [](const std::string &line, const std::string &part) {
        const std::size_t at = line.find(part);
        return at == std::string::npos ? at
                                       : static_cast<std::size_t>(std::count_if(line.begin(), line.begin() + at, [](char c) {
                                             return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                                         }));
    };
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(run.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 4U) << run.out;
    const char *variants[] = {"Vantrel Max", "Vantrel Flex", "Vantrel for MSP430"};
    const char *ports[] = {"1-7", "1-8", "1-9"};
    for (std::size_t row = 0; row < 3; ++row) {
        const std::string &line = lines[row + 1];
        EXPECT_EQ(columnOf(line, variants[row]), columnOf(lines[0], "VARIANT")) << run.out;
        EXPECT_EQ(columnOf(line, " " + std::string(ports[row])) + 1, columnOf(lines[0], "PORT")) << run.out;
    }
}

TEST(VantrelFlash, AFailedTaskShowsHowFarItReallyGot)
{
    const FlashRun text = flash({"install", "--simulate", "flex,fault=write"});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(contains(text.out, "Writing: failed after 8192 of 57932 bytes")) << text.out;
    EXPECT_FALSE(contains(text.out, "Writing: 57932 bytes")) << text.out;
    EXPECT_TRUE(contains(text.out, "Erasing: 57932 bytes")) << "the erase did finish";

    const FlashRun asJson = flash({"install", "--json", "--simulate", "flex,fault=write"});
    EXPECT_EQ(asJson.document["adapters"][0]["stoppedIn"],
              (nlohmann::json{{"task", "write"}, {"bytesDone", 8192}, {"bytes", 57932}}));
    EXPECT_TRUE(contains(asJson.err, "failed after 8192 of 57932 bytes")) << "the progress goes to standard error";
}

TEST(VantrelFlash, TheSummaryOfSeveralAdaptersCountsThoseFoundCurrentApart)
{
    const FlashRun run = flash({"install", "--all", "--if-needed", "--simulate", "max,serial=A,installed",
                                "--simulate", "flex,serial=B", "--simulate", "msp430,serial=C,fault=erase"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.ends_with("1 installed, 1 already current, 1 failed, 0 skipped\n")) << run.out;
}

TEST(VantrelFlash, ResultsAndErrorsKeepTheirOrderInOneFile)
{
    const FlashRun run = flash({"install", "--simulate", "max,fault=connect"}, ChildProcess::Errors::merged);
    const std::size_t installing = run.out.find("Installing Vantrel Max");
    const std::size_t error = run.out.find("Error: connect failed");
    ASSERT_NE(installing, std::string::npos) << run.out;
    ASSERT_NE(error, std::string::npos) << run.out;
    EXPECT_LT(installing, error) << run.out;

    const FlashRun all = flash({"install", "--all", "--simulate", "max,serial=A,fault=busy", "--simulate",
                                "flex,serial=B", "--simulate", "max,serial=C,fault=erase"},
                               ChildProcess::Errors::merged);
    const std::vector<std::string> order = {"Error: device already in use", "Installing Vantrel Flex on B",
                                            "Installed 1.9", "Installing Vantrel Max on C", "Error: Erase failed",
                                            "1 installed, 2 failed, 0 skipped"};
    std::size_t at = 0;
    for (const std::string &part : order) {
        const std::size_t found = all.out.find(part, at);
        EXPECT_NE(found, std::string::npos) << part << " after " << at << " in\n" << all.out;
        at = found == std::string::npos ? at : found;
    }
}

constexpr std::uint32_t maxLoadAddress = 0x6000;

TEST(VantrelFlashVerify, ComparesPieceByPieceAndWritesNothing)
{
    struct Case {
        const char *name;
        const char *simulate;
        int exitCode;
        const char *outcome;
        unsigned differing;
        unsigned firstDiffering;
    };
    for (const Case &c : {Case{"identical", "max,installed", 0, "verified", 0, 0},
                          Case{"one piece", "max,damaged=5", 1, "differs", 1, 5},
                          Case{"three pieces", "max,damaged=42,damaged=7,damaged=9", 1, "differs", 3, 7},
                          Case{"nothing installed", "max", 1, "differs", 43, 0},
                          Case{"on a variant that does not reboot", "msp430,installed", 0, "verified", 0, 0}}) {
        SCOPED_TRACE(c.name);
        const FlashRun run = flash({"verify", "--json", "--simulate", c.simulate});
        EXPECT_EQ(run.exitCode, c.exitCode);
        const json &result = run.document["adapters"][0];
        EXPECT_EQ(result["outcome"], c.outcome);
        EXPECT_EQ(result["comparison"]["differing"], c.differing);
        if (c.differing == 0) {
            EXPECT_EQ(result["errorKind"], nullptr);
            EXPECT_EQ(result["comparison"]["firstDiffering"], nullptr);
            EXPECT_EQ(result["simulated"]["flashCrc32"], result["carriedCrc32"]);
            continue;
        }
        EXPECT_EQ(result["errorKind"], "verify-mismatch");
        EXPECT_EQ(run.document["errorKind"], "verify-mismatch");
        EXPECT_EQ(result["comparison"]["pieces"], 43);
        EXPECT_EQ(result["comparison"]["firstDiffering"]["piece"], c.firstDiffering);
        EXPECT_EQ(result["comparison"]["firstDiffering"]["address"], maxLoadAddress + c.firstDiffering * 8192);
        EXPECT_EQ(result["comparison"]["firstDiffering"]["length"], 8192);
        EXPECT_NE(result["simulated"]["flashCrc32"], result["carriedCrc32"]) << "verify leaves the flash as it was";
        EXPECT_TRUE(contains(result["message"].get<std::string>(),
                             std::to_string(c.differing) + " of 43 pieces; the first is piece " +
                                 std::to_string(c.firstDiffering)));
    }

    const FlashRun text = flash({"verify", "--simulate", "max,installed,serial=S"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(contains(text.out, "S holds the carried firmware 3.2")) << text.out;
}

TEST(VantrelFlashVerify, EachFailureHasItsKind)
{
    struct Case {
        const char *simulate;
        const char *errorKind;
    };
    for (const Case &c : {Case{"max,installed,fault=busy", "device-busy"},
                          Case{"msp430,installed,fault=connect", "connect-failed"},
                          Case{"max,installed,fault=verify", "verify-failed"},
                          Case{"flex,installed,fault=crc", "verify-mismatch"},
                          Case{"max,installed,fault=disconnect", "disconnect-failed"},
                          Case{"arm-basic,installed,fault=no-reply", "no-reply"},
                          Case{"max,installed,fault=never-back", "not-back"},
                          Case{"arm-basic,serial=0401", "unsupported"}}) {
        SCOPED_TRACE(c.simulate);
        const FlashRun run = flash({"verify", "--json", "--simulate", c.simulate});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.document["adapters"][0]["errorKind"], c.errorKind);
        EXPECT_EQ(run.document["errorKind"], c.errorKind);
    }
}

TEST(VantrelFlash, InstallIfNeededWritesOnlyAFlashThatDiffers)
{
    struct Case {
        const char *name;
        const char *simulate;
        const char *outcome;
        unsigned differing;
    };
    // A fault in the erase or the write shows whether either was tried.
    for (const Case &c : {Case{"current", "flex,installed,fault=erase", "current", 0},
                          Case{"current and rebooting", "max,installed,fault=write", "current", 0},
                          Case{"one piece differs", "max,damaged=17", "installed", 1},
                          Case{"not installed", "flex", "installed", 8}}) {
        SCOPED_TRACE(c.name);
        const FlashRun run = flash({"install", "--if-needed", "--json", "--simulate", c.simulate});
        EXPECT_EQ(run.exitCode, 0);
        const json &result = run.document["adapters"][0];
        EXPECT_EQ(result["outcome"], c.outcome);
        EXPECT_EQ(result["errorKind"], nullptr);
        EXPECT_EQ(result["comparison"]["differing"], c.differing);
        EXPECT_EQ(result["simulated"]["flashCrc32"], result["carriedCrc32"]);
        EXPECT_EQ(result["versionAfter"], result["carriedVersion"]);
    }
    const FlashRun text = flash({"install", "--if-needed", "--simulate", "max,installed,serial=S"});
    EXPECT_TRUE(contains(text.out, "S already holds 3.2 - Build: 3302 (placeholder): nothing written")) << text.out;
}

TEST(VantrelFlashStation, InstallsEachAdapterAsItArrivesWithALineOfJsonEach)
{
    const FlashRun run = flash({"install", "--wait", "--count", "3", "--if-needed", "--json",
                                "--simulate", "max,serial=A,arrive=2,leave=30",
                                "--simulate", "flex,serial=B,arrive=40,leave=60",
                                "--simulate", "max,serial=C,installed,arrive=70,leave=90",
                                "--simulate", "max,serial=D,arrive=100"});
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 3U) << run.out;
    const char *serials[] = {"A", "B", "C"};
    const char *outcomes[] = {"installed", "installed", "current"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i]["serial"], serials[i]);
        EXPECT_EQ(lines[i]["outcome"], outcomes[i]);
        EXPECT_EQ(lines[i]["sequence"], i + 1);
        EXPECT_EQ(lines[i]["simulated"]["flashCrc32"], lines[i]["carriedCrc32"]);
    }
}

TEST(VantrelFlashStation, TakesAnAdapterUpOnceUntilItIsPulledOut)
{
    // A stays plugged in throughout; B comes and goes; A' is a new adapter
    // in A's place with the same serial number, after A was pulled out.
    const FlashRun run = flash({"install", "--wait", "--count", "3", "--json",
                                "--simulate", "max,serial=A,port=1-1,leave=50",
                                "--simulate", "flex,serial=B,port=1-2,arrive=20,leave=30",
                                "--simulate", "max,serial=A,port=1-1,arrive=60,fault=erase"});
    EXPECT_EQ(run.exitCode, 1) << "one of them failed";
    const std::vector<json> lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 3U) << run.out;
    EXPECT_EQ(lines[0]["serial"], "A");
    EXPECT_EQ(lines[1]["serial"], "B");
    EXPECT_EQ(lines[2]["serial"], "A");
    EXPECT_EQ(lines[2]["errorKind"], "erase-failed");
}

TEST(VantrelFlashStation, ASignalEndsItBetweenAdapters)
{
    // A hang-up is the line's terminal or remote session going away.
    const struct {
        int signal;
        int exitCode;
        const char *name;
    } cases[] = {{SIGTERM, 143, "SIGTERM"}, {SIGHUP, 129, "SIGHUP (the terminal or session went away)"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.signal);
        ChildProcess station(VANTREL_FLASH, {"install", "--wait", "--json", "--simulate", "max,serial=A"});
        const std::optional<std::string> line = station.readLine();
        ASSERT_TRUE(line);
        EXPECT_EQ(json::parse(*line)["outcome"], "installed");
        kill(station.pid(), c.signal);
        const ChildProcess::Ending ending = station.wait();
        EXPECT_EQ(ending.exitCode, c.exitCode);
        EXPECT_EQ(ending.out, *line + "\n") << "no document after the lines";
        // Said at once, naming the signal and that nothing was under way;
        // then at the end, out of the way of the lines, what was done.
        EXPECT_TRUE(ending.err.ends_with("vantrel-flash: " + std::string(c.name) + ": stopping\n"
                                         "Station stopped after 1 adapter: 1 done.\n"))
            << ending.err;
    }
}

// The processor time a running process has used so far, in clock ticks.
long processorTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Past the command's name in parentheses, utime and stime are the 12th
    // and 13th fields.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
    return field.size() > 12 ? std::stol(field[11]) + std::stol(field[12]) : -1;
}

TEST(VantrelFlashStation, WaitsIdleWhenNothingMoreCanHappenOnASimulatedLine)
{
    // The adapter is never pulled out: on the virtual clock the station
    // would spin through its polls for as long as it is left waiting.
    ChildProcess station(VANTREL_FLASH, {"install", "--wait", "--json", "--simulate", "max,serial=A"});
    ASSERT_TRUE(station.readLine());
    const long before = processorTicks(station.pid());
    std::this_thread::sleep_for(std::chrono::seconds{1});
    const long used = processorTicks(station.pid()) - before;
    kill(station.pid(), SIGTERM);
    station.wait();
    ASSERT_GE(before, 0);
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2) << "ticks of processor time in one second of waiting";
}

TEST(VantrelFlash, VersionNamesTheProductAndTheBackend)
{
    const FlashRun run = flash({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "vantrel-flash " VANTREL_EXPECTED_VERSION " (" VANTREL_EXPECTED_BACKEND " backend)\n");
    const FlashRun asJson = flash({"install", "--version", "--json"});
    EXPECT_EQ(asJson.document["version"], VANTREL_EXPECTED_VERSION);
    EXPECT_EQ(asJson.document["backend"], VANTREL_EXPECTED_BACKEND);
}

// Where a run's standard output goes when it cannot be written.
enum class LostOutput { fullDisk, closedPipe };

// A run with its standard output lost that way: its exit code and what it
// wrote on standard error.
std::pair<int, std::string> flashIntoNowhere(const Arguments &arguments, LostOutput lost)
{
    std::FILE *errFile = std::tmpfile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeEnds[2] = {-1, -1};
    if (lost == LostOutput::fullDisk) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    } else if (pipe(pipeEnds) == 0) {
        // The reader has gone before the first write, as `| head -n 0` does.
        close(pipeEnds[0]);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    }
    posix_spawn_file_actions_adddup2(&actions, fileno(errFile), STDERR_FILENO);
    std::vector<char *> argv{const_cast<char *>(VANTREL_FLASH)};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, VANTREL_FLASH, &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeEnds[1] >= 0)
        close(pipeEnds[1]);
    std::string err;
    std::rewind(errFile);
    for (int c; (c = std::fgetc(errFile)) != EOF;)
        err += static_cast<char>(c);
    std::fclose(errFile);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(VantrelFlash, ResultsThatCannotBeWrittenAreAFailure)
{
    const struct {
        Arguments arguments;
        int exitCode;
    } cases[] = {
        {{"list", "--simulate", "max"}, 1},
        {{"list", "--json", "--simulate", "max"}, 1},
        {{"install", "--simulate", "max"}, 1},
        // Help and the version into a closed pipe end quietly; onto a full disk they failed.
        {{"--version"}, -2},
        {{"--help"}, -2},
        // A failure already has its own exit code, which says more.
        {{"install", "--json", "--serial", "X", "--simulate", "max"}, 3},
    };
    for (const LostOutput lost : {LostOutput::fullDisk, LostOutput::closedPipe}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.arguments.front() + (lost == LostOutput::fullDisk ? " to a full disk" : " to a closed pipe"));
            const auto [exitCode, err] = flashIntoNowhere(c.arguments, lost);
            if (c.exitCode == -2 && lost == LostOutput::closedPipe) {
                EXPECT_EQ(exitCode, 0);
                EXPECT_EQ(err, "");
                continue;
            }
            EXPECT_EQ(exitCode, std::max(c.exitCode, 1));
            EXPECT_TRUE(contains(err, "vantrel-flash: the results could not be written to standard output\n")) << err;
        }
    }
}

TEST(VantrelFlash, AnInstallGoesOnToItsEndWhenTheReaderOfItsOutputHasGone)
{
    // Half an install would leave the adapter without firmware. (With --json
    // the progress goes to standard error, where it can be seen to the end.)
    const auto [exitCode, err] = flashIntoNowhere({"install", "--json", "--simulate", "max"}, LostOutput::closedPipe);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(contains(err, "Verifying: 349968 bytes")) << err;
}

TEST(VantrelFlashStation, TakesUpNoAdapterOnceNobodyReadsItsResults)
{
    // The reader has gone before the first line: nothing is installed.
    const auto [exitCode, err] =
        flashIntoNowhere({"install", "--wait", "--json", "--simulate", "flex,serial=A"}, LostOutput::closedPipe);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(contains(err, "nobody reads the results any more")) << err;
    EXPECT_FALSE(contains(err, "Erasing")) << err;

    // The reader goes after the first line (`| head -n 1`): the adapter under
    // way was finished, and the next one, plugged in later, is not taken up.
    ChildProcess station(VANTREL_FLASH, {"install", "--wait", "--json", "--real-time", "--simulate",
                                         "msp430,serial=A", "--simulate", "msp430,serial=B,arrive=4"});
    ASSERT_TRUE(station.readLine());
    station.closeOutput();
    const ChildProcess::Ending ending = station.wait();
    EXPECT_EQ(ending.exitCode, 1);
    EXPECT_TRUE(contains(ending.err, "nobody reads the results any more")) << ending.err;
    std::size_t installs = 0;
    for (std::size_t at = 0; (at = ending.err.find("Verifying: ", at)) != std::string::npos; ++at)
        ++installs;
    EXPECT_EQ(installs, 1U) << ending.err;
}

TEST(VantrelFlash, AClosedStandardErrorIsNeverTakenByTheRecording)
{
    // A line controller may start the tool without standard error.
    const std::string file = testing::TempDir() + "vantrel-flash-closed-stderr.jsonl";
    std::remove(file.c_str());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    const Arguments arguments = {"--record", file, "install", "--json", "--simulate", "arm-basic"};
    std::vector<char *> argv{const_cast<char *>(VANTREL_FLASH)};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    ASSERT_EQ(posix_spawn(&pid, VANTREL_FLASH, &actions, nullptr, argv.data(), environ), 0);
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Every line of it is a line of the recording, and it replays.
    std::ifstream recording(file);
    for (std::string line; std::getline(recording, line);)
        EXPECT_TRUE(json::accept(line)) << line;
    EXPECT_EQ(flash({"--replay", file, "install"}).exitCode, 0);
    std::remove(file.c_str());
}

TEST(VantrelFlash, AFailureOnceTheEraseBeganSaysThatInstallingAgainRepairsTheAdapter)
{
    const FlashRun run = flash({"install", "--simulate", "flex,serial=F,fault=write"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, "Vantrel Flex F is left partly written; vantrel-flash install again repairs it"))
        << run.err;
    const FlashRun asJson = flash({"install", "--json", "--simulate", "flex,fault=write"});
    EXPECT_EQ(asJson.document["adapters"][0]["flash"], "partly-written");
    EXPECT_EQ(flash({"install", "--json", "--simulate", "flex,fault=connect"}).document["adapters"][0]["flash"],
              "untouched");
    EXPECT_EQ(flash({"install", "--json", "--simulate", "flex"}).document["adapters"][0]["flash"], "written");
}

TEST(VantrelFlash, DurationsAreInWholeMilliseconds)
{
    const FlashRun run = flash({"install", "--all", "--json", "--simulate", "max,serial=A", "--simulate",
                                "flex,serial=B,fault=write", "--simulate", "msp430,serial=C"});
    for (const json &result : run.document["adapters"]) {
        const double milliseconds = result["durationSeconds"].get<double>() * 1000;
        EXPECT_GT(milliseconds, 0);
        EXPECT_NEAR(milliseconds, std::round(milliseconds), 1e-6) << result["durationSeconds"];
    }
}

// Everything the tool writes to a terminal of that many columns.
std::string onTerminal(const Arguments &arguments, unsigned short columns)
{
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        std::vector<char *> argv{const_cast<char *>(VANTREL_FLASH)};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        execv(VANTREL_FLASH, argv.data());
        _exit(127);
    }
    std::string written;
    char chunk[4096];
    ssize_t n;
    // Ends with an error once the child has closed its side.
    while ((n = read(terminal, chunk, sizeof chunk)) > 0)
        written.append(chunk, static_cast<std::size_t>(n));
    close(terminal);
    waitpid(pid, nullptr, 0);
    return written;
}

// The lines a terminal shows one after the other: split at every carriage
// return and line feed.
std::vector<std::string> shownLines(const std::string &written)
{
    std::vector<std::string> lines(1);
    for (const char c : written) {
        if (c == '\r' || c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

TEST(VantrelFlashTerminal, TheProgressBarFitsTheWidthAndShowsAFailureWhereItHappened)
{
    for (const unsigned short columns : std::initializer_list<unsigned short>{120, 72, 40, 12}) {
        SCOPED_TRACE(columns);
        const std::string written = onTerminal({"install", "--simulate", "flex,fault=write"}, columns);
        bool failedAt14Percent = false;
        bool downloadComplete = false;
        for (std::string line : shownLines(written)) {
            while (!line.empty() && line.back() == ' ')
                line.pop_back();  // the spaces that cover a longer line before
            if (line.starts_with("Installing") || line.starts_with("Error:") || contains(line, "partly written"))
                continue;  // the tool's own lines, not the bar
            EXPECT_LT(line.size(), columns) << line;
            failedAt14Percent = failedAt14Percent || (contains(line, "14%") && line.ends_with(" failed"));
            downloadComplete = downloadComplete || (contains(line, "Down") && contains(line, "100%"));
        }
        EXPECT_TRUE(failedAt14Percent || columns < 16) << written;
        EXPECT_FALSE(downloadComplete) << written;
    }
}

}  // namespace
