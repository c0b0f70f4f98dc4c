// End-to-end runs of the built vantrel-flash against simulated adapters.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <string>

#include <sys/wait.h>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

struct FlashRun {
    int exitCode;
    std::string out;
    json document;  // stdout parsed, for --json runs
};

FlashRun flash(const std::string &arguments)
{
    const std::string command = std::string(VANTREL_FLASH) + " " + arguments + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    FlashRun run{-1, {}, {}};
    if (!pipe)
        return run;
    std::array<char, 4096> chunk{};
    std::size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        run.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (arguments.find("--json") != std::string::npos)
        run.document = json::parse(run.out);  // throws, failing the test, unless well-formed
    return run;
}

TEST(VantrelFlash, ListsEveryAdapterWithItsVersions)
{
    const FlashRun run = flash("list --json --simulate arm-standard --simulate arm-basic,installed "
                          "--simulate max --simulate flex,installed --simulate msp430 --simulate arm-basic,serial=0401FFFF");
    ASSERT_EQ(run.exitCode, 0);
    const json &adapters = run.document["adapters"];
    ASSERT_EQ(adapters.size(), 6U);
    EXPECT_EQ(adapters[0]["variant"], "Vantrel for ARM Standard");
    EXPECT_EQ(adapters[0]["installedVersion"], nullptr);
    EXPECT_EQ(adapters[1]["installedVersion"], adapters[1]["carriedVersion"]);
    EXPECT_EQ(adapters[3]["installedVersion"], "1.9 - Build: 1909 (placeholder)");
    EXPECT_EQ(adapters[4]["productId"], 5);
    EXPECT_EQ(adapters[5]["supported"], false);
    EXPECT_EQ(adapters[5]["variant"], nullptr);

    const FlashRun text = flash("list --simulate max");
    EXPECT_NE(text.out.find("Vantrel Max"), std::string::npos);
    EXPECT_NE(text.out.find("Not Installed"), std::string::npos);
}

TEST(VantrelFlash, InfoShowsTheReleaseHistory)
{
    const FlashRun run = flash("info --json --simulate flex,serial=F1 --simulate max,serial=M1 --serial M1");
    ASSERT_EQ(run.exitCode, 0);
    const json &adapter = run.document["adapters"][0];
    EXPECT_EQ(adapter["serial"], "M1");
    EXPECT_EQ(adapter["imageSize"], 349968);
    EXPECT_NE(adapter["releaseNotes"].get<std::string>().find("release history"), std::string::npos);
}

struct InstallCase {
    const char *name;
    const char *simulate;
    int exitCode;
    const char *message;
    bool flashHoldsImage;
};

void PrintTo(const InstallCase &c, std::ostream *os) { *os << c.name; }

class VantrelFlashInstall : public testing::TestWithParam<InstallCase> {};

TEST_P(VantrelFlashInstall, ReportsTheOutcomeAndLeavesTheFlashAsItSays)
{
    const InstallCase &c = GetParam();
    const FlashRun run = flash(std::string("install --json --simulate ") + c.simulate);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.document["exitCode"], c.exitCode);
    const json &result = run.document["adapters"][0];
    EXPECT_EQ(result["message"], c.message);
    const bool success = c.exitCode == 0;
    EXPECT_EQ(result["outcome"], success ? "installed" : "failed");
    EXPECT_EQ(result["flashCrc32"] == result["imageCrc32"], c.flashHoldsImage);
    if (success) {
        EXPECT_NE(result["versionAfter"], nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, VantrelFlashInstall,
    testing::Values(InstallCase{"ArmStandard", "arm-standard", 0, "", true},
                    InstallCase{"ArmBasic", "arm-basic", 0, "", true}, InstallCase{"Max", "max", 0, "", true},
                    InstallCase{"Flex", "flex", 0, "", true}, InstallCase{"Msp430", "msp430", 0, "", true},
                    InstallCase{"Reenumerating", "max,installed", 0, "", true},
                    InstallCase{"EraseFails", "flex,fault=erase", 1, "Erase failed : memory erase failed", false},
                    InstallCase{"WriteFails", "arm-standard,fault=write", 1, "Download failed : memory write failed",
                                false},
                    // The flash was written; only its check failed.
                    InstallCase{"VerifyFails", "msp430,fault=verify", 1,
                                "Verify failed : hardware error: target JTAG adapter data link read timed out", true},
                    InstallCase{"CrcMismatch", "max,fault=crc", 1, "Verify failed : crc check mismatch", true},
                    InstallCase{"Busy", "max,fault=busy", 1, "device already in use", false}),
    [](const testing::TestParamInfo<InstallCase> &param) { return std::string(param.param.name); });

TEST(VantrelFlash, InstallAllGoesOnPastAFailure)
{
    const FlashRun run = flash("install --all --json --simulate max,serial=A --simulate flex,serial=B,fault=write "
                          "--simulate msp430,serial=C,installed");
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
    // Two adapters that look the same: the re-read must not report the other's version.
    const FlashRun run = flash("install --all --json --simulate max,serial=TWIN --simulate max,serial=TWIN");
    EXPECT_EQ(run.exitCode, 1);
    for (const json &result : run.document["adapters"])
        EXPECT_EQ(result["message"], "the installed adapter cannot be told apart from another one");
}

TEST(VantrelFlash, ChoosingAnAdapter)
{
    const FlashRun several = flash("install --json --simulate max --simulate flex");
    EXPECT_EQ(several.exitCode, 3);
    EXPECT_EQ(several.document["attached"].size(), 2U);

    const FlashRun unknown = flash("info --json --serial NOPE --simulate max");
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_EQ(unknown.document["attached"][0]["variant"], "Vantrel Max");

    EXPECT_EQ(flash("list --json --simulate max,serial=X --serial X").exitCode, 2);
    const FlashRun none = flash("install --json --simulate arm-basic,serial=0401 --serial 0401");
    EXPECT_EQ(none.exitCode, 1) << "an unsupported adapter asked for by name";
    EXPECT_EQ(none.document["adapters"][0]["message"], "The attached Vantrel is not supported by Vantrel Update.");
}

TEST(VantrelFlash, UsageErrorsExitTwoWithWellFormedJson)
{
    for (const char *arguments : {"", "frobnicate", "install --serial --all", "list --bogus", "install --serial", "list --simulate toaster",
                                  "install --all --serial X", "list extra", "list --simulate max,fault=melt"}) {
        SCOPED_TRACE(arguments);
        const FlashRun run = flash(std::string(arguments) + " --json");
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.document["error"], "usage");
    }
    EXPECT_EQ(flash("--help").exitCode, 0);
    EXPECT_NE(flash("--help").out.find("Exit codes"), std::string::npos);
}

TEST(VantrelFlash, VersionNamesTheReleaseAndTheBackend)
{
    // One line on standard output, whatever else the command line holds: the
    // packages' man page and checks read it.
    for (const char *arguments : {"--version", "list --version", "--version --simulate max install"}) {
        SCOPED_TRACE(arguments);
        const FlashRun run = flash(arguments);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(std::regex_match(run.out, std::regex("vantrel-flash " VANTREL_VERSION
                                                         R"( \((libusb|virtual-only) backend\)\n)")))
            << run.out;
    }
    const FlashRun machine = flash("--version --json");
    EXPECT_EQ(machine.exitCode, 0);
    EXPECT_EQ(machine.document["version"], VANTREL_VERSION);
}

}  // namespace
