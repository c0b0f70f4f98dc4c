// The pieces of vantrel-flash that decide what scripts and people read.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/adapter_choice.h"
#include "datalink/error_kind.h"
#include "cli/json_results.h"
#include "cli/progress_line.h"
#include "update/install_task.h"
#include "update/outcome.h"
#include "platform/device_text.h"

namespace {

TEST(ErrorKinds, NamesAreUniqueAndEachHasAMeaning)
{
    std::set<std::string> names;
    for (const ErrorKindInfo &info : errorKinds()) {
        EXPECT_TRUE(names.insert(info.name).second) << info.name;
        EXPECT_STREQ(nameOf(info.kind), info.name);
        EXPECT_NE(std::string(info.meaning), "");
    }
}

TEST(Ports, APortNamesTheDevicePathItWasShownFor)
{
    // An anonymised recording gives --port P the placeholder of the path P
    // names, so the path must be the device's own on each backend.
    struct Case {
        const char *devicePath;
        const char *backend;
    };
    for (const Case &c : {Case{"usb:1-4.2", "libusb"}, Case{"virtual:1-1", "simulated"}, Case{"1-4", "simulated"},
                          Case{"\\\\?\\usb#vid_131b&pid_0010#vt1#{guid}", "Win32"}}) {
        UsbDeviceInfo device;
        device.devicePath = c.devicePath;
        EXPECT_EQ(devicePathAt(portOf(device), c.backend), c.devicePath) << c.backend;
        EXPECT_EQ(devicePathAt(c.devicePath, c.backend), c.devicePath) << "the whole path, typed as the port";
    }
}

TEST(DeviceText, EveryByteBecomesItsLatin1Character)
{
    EXPECT_EQ(platform::utf8FromLatin1("VT0001"), "VT0001");
    EXPECT_EQ(platform::utf8FromLatin1("Ger\xe4t \xb5" "C"), "Ger\u00e4t \u00b5C");
    EXPECT_EQ(platform::utf8FromLatin1(std::string("\x00\x7f\x80\xff", 4)), std::string("\x00\x7f\u0080\u00ff", 6));
    // Bytes that happen to form UTF-8 are still Latin-1 characters each.
    EXPECT_EQ(platform::utf8FromLatin1("\xc3\xa9"), "\u00c3\u00a9");
}

TEST(ProgressLine, NarrowsToTheTerminalKeepingWhatMattersMost)
{
    const ProgressState writing{"Writing the firmware onto a long-named part", 8192, 57932, "bytes", 85.1, nullptr};
    EXPECT_EQ(progressLine(writing, 120), "Writing the firmware onto a long-named part [####                          ]"
                                          "  14% 8192/57932 bytes 85.1 KiB/s");
    EXPECT_EQ(progressLine(writing, 72), "Writing the firmware onto a long-named part [#         ]  14%");
    EXPECT_EQ(progressLine(writing, 40), "Writing the firmwa... [#         ]  14%");
    EXPECT_EQ(progressLine(writing, 8), " 14%");
    for (int columns = 2; columns <= 130; ++columns)
        EXPECT_LT(progressLine(writing, columns).size(), static_cast<std::size_t>(columns)) << columns;
    EXPECT_EQ(progressLine(writing, 0).size(), 79U) << "80 columns when the width is not known";

    ProgressState failed = writing;
    failed.ending = "failed";
    EXPECT_EQ(progressLine(failed, 40), "Writing the... [#         ]  14% failed");
}

}  // namespace

namespace {

std::string fileText(const std::string &path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::set<std::string> enumOf(const nlohmann::json &schema, const char *definition)
{
    std::set<std::string> names;
    for (const nlohmann::json &name : schema["$defs"][definition]["enum"])
        if (name.is_string())
            names.insert(name.get<std::string>());
    return names;
}

// The published documents name every kind, task and outcome exactly as the
// tables the programs use do: a name added to a table and forgotten there
// would be a name a script cannot know of.
TEST(PublishedContract, TheSchemaAndTheReadmeFollowTheTables)
{
    const nlohmann::json schema = nlohmann::json::parse(fileText(VANTREL_SOURCE_DIR "/docs/vantrel-flash.schema.json"));
    std::set<std::string> kinds, tasks, outcomeNames;
    for (const ErrorKindInfo &info : errorKinds())
        kinds.insert(info.name);
    for (const InstallTaskInfo &info : installTasks())
        tasks.insert(info.name);
    for (const OutcomeInfo &info : outcomes())
        outcomeNames.insert(info.name);
    EXPECT_EQ(enumOf(schema, "errorKind"), kinds);
    EXPECT_EQ(enumOf(schema, "task"), tasks);
    EXPECT_EQ(enumOf(schema, "outcome"), outcomeNames);
    EXPECT_EQ(schema["$defs"]["formatVersion"]["const"], jsonFormatVersion);

    const std::string readme = fileText(VANTREL_SOURCE_DIR "/README.md");
    for (const ErrorKindInfo &info : errorKinds())
        EXPECT_NE(readme.find("| `" + std::string(info.name) + "` | " + info.meaning + " |"), std::string::npos)
            << info.name << " is not in the README's table as the program describes it";
}

}  // namespace
