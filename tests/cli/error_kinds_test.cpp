// Every error kind that vantrel-flash's JSON can carry, produced through the
// built tool: by a simulated adapter's fault, a command line, a recording, or
// the test build whose carried images are damaged.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "datalink/error_kind.h"
#include "tests/cli/flash_runs.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct KindCase {
    const char *kind;
    Arguments arguments;  // --json is added
    int exitCode;
    const char *task;     // of the adapter's result; null: the command failed before any adapter
    std::string message;  // the start of it
    const char *program = VANTREL_FLASH;
};

void PrintTo(const KindCase &c, std::ostream *os) { *os << c.kind; }

std::string recordingOf(const char *name) { return std::string(VANTREL_RECORDINGS) + "/" + name + ".jsonl"; }

// A committed recording with the connect's answer changed: the engine then
// asks for what the recording does not hold.
std::string divergingRecording()
{
    const fs::path path = fs::path(testing::TempDir()) / "vantrel-error-kinds-diverging.jsonl";
    std::ifstream in(recordingOf("install-flex"));
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    text.replace(text.find("\"data\":\"fe01\""), 13, "\"data\":\"fe00\"");
    std::ofstream(path) << text;
    return path.string();
}

const std::vector<KindCase> &kindCases()
{
    static const std::string diverging = divergingRecording();
    static const std::vector<KindCase> cases = {
        {"usage", {"install", "--bogus"}, 2, nullptr, "unknown option --bogus"},
        {"not-found", {"install"}, 3, nullptr, "No devices connected"},
        {"ambiguous", {"install", "--simulate", "max", "--simulate", "flex"}, 3, nullptr, "Multiple devices connected"},
        {"unsupported", {"install", "--simulate", "unsupported"}, 1, nullptr, "The attached Vantrel is not supported"},
        {"invalid-image", {"install", "--simulate", "max"}, 1, "read", "Invalid Firmware Image",
         VANTREL_FLASH_DAMAGED_IMAGES},
        {"device-busy", {"install", "--simulate", "max,fault=busy"}, 1, "read", "device already in use"},
        {"no-permission", {"install", "--simulate", "max,fault=no-permission"}, 1, "read",
         "cannot open device driver (no permission"},
        {"open-failed", {"install", "--simulate", "max,fault=no-driver"}, 1, "read", "cannot open device driver"},
        {"no-reply", {"install", "--simulate", "max,fault=no-reply"}, 1, "read", "read operation timed out"},
        {"link-failed", {"install", "--simulate", "max,fault=link"}, 1, "write", "Download failed : write operation"},
        {"connect-failed", {"install", "--simulate", "max,fault=connect"}, 1, "connect", "connect failed"},
        {"erase-failed", {"install", "--simulate", "max,fault=erase"}, 1, "erase", "Erase failed : memory erase"},
        {"write-failed", {"install", "--simulate", "max,fault=write"}, 1, "write", "Download failed : memory write"},
        {"verify-failed", {"install", "--simulate", "max,fault=verify"}, 1, "verify", "Verify failed : read operation"},
        {"verify-mismatch", {"install", "--simulate", "max,fault=crc"}, 1, "verify", "Verify failed : crc check"},
        {"disconnect-failed", {"install", "--simulate", "max,fault=disconnect"}, 1, "disconnect", "disconnect failed"},
        {"not-back", {"install", "--simulate", "max,installed,fault=never-back"}, 1, "connect",
         "cannot open device driver"},
        {"wrong-version", {"install", "--simulate", "max,fault=wrong-version"}, 1, "reread", "the adapter reports 3.3"},
        {"interrupted", {"--replay", recordingOf("interrupted-install"), "install"}, 130, "write", "interrupted: "},
        {"device-error", {"install", "--simulate", "max,fault=garbled"}, 1, "read", "get loader info failed"},
        {"bad-recording", {"--replay", recordingOf("list"), "install"}, 2, nullptr, recordingOf("list") + ": the recording is of"},
        {"recording-failed", {"--record", "/nonexistent-folder/r.jsonl", "list", "--simulate", "max"}, 2, nullptr,
         "cannot write the recording /nonexistent-folder/r.jsonl: no such folder"},
        {"replay-diverged", {"--replay", diverging, "install"}, 1, nullptr, "replay diverged at exchange "},
        {"history-failed", {"history", "--history", "/nonexistent-folder/h.sqlite"}, 4, nullptr,
         "there is no history file /nonexistent-folder/h.sqlite"},
    };
    return cases;
}

class ErrorKind_ : public testing::TestWithParam<KindCase> {};

TEST_P(ErrorKind_, IsProducedThroughTheToolWithItsExitCodeTaskAndMessage)
{
    const KindCase &c = GetParam();
    Arguments arguments = c.arguments;
    arguments.push_back("--json");
    ChildProcess child(c.program, arguments);
    const ChildProcess::Ending ending = child.wait();
    const json document = json::parse(ending.out);
    EXPECT_EQ(ending.exitCode, c.exitCode) << ending.err;
    EXPECT_EQ(document["errorKind"], c.kind);
    EXPECT_TRUE(document["message"].get<std::string>().starts_with(c.message)) << document["message"];
    if (c.task) {
        ASSERT_FALSE(document["adapters"].empty());
        const json &adapter = document["adapters"][0];
        EXPECT_EQ(adapter["errorKind"], c.kind);
        EXPECT_EQ(adapter["task"], c.task);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ErrorKind_, testing::ValuesIn(kindCases()),
                         [](const testing::TestParamInfo<KindCase> &param) {
                             std::string name = param.param.kind;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ErrorKinds, EveryKindInTheTableIsProducedByACase)
{
    std::set<std::string> produced;
    for (const KindCase &c : kindCases())
        produced.insert(c.kind);
    for (const ErrorKindInfo &info : errorKinds())
        EXPECT_TRUE(produced.count(info.name)) << info.name << " has no case that produces it";
}

}  // namespace
