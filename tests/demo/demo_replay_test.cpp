// vantrel-update-demo --replay: the window driven by a session recorded on a
// simulated adapter, as the tool records one.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/demo/demo_start.h"
#include "tests/recording/session_runs.h"

namespace {

using simulation::SimulatedFirmware;

class DemoReplay : public DemoStart {
protected:
    std::unique_ptr<ProgramStart> startReplay(const std::string &file)
    {
        return startDemo({QStringLiteral("--replay"), QString::fromStdString(file), QStringLiteral("--auto-install")});
    }
};

TEST_F(DemoReplay, ShowsTheRecordedInstallInTheWindow)
{
    // An ARM Basic without firmware: a small image, so the recorded time is short.
    const RecordedSession recorded =
        recordSimulated({{4, "04020001", SimulatedFirmware::none, std::nullopt}}, installSession);
    ASSERT_EQ(recorded.outcome.message, "");
    auto demo = startReplay(write("install.jsonl", recorded.text));
    EXPECT_TRUE(demo->printed(QStringLiteral("status: Device ready.")));
    EXPECT_TRUE(demo->printed(QStringLiteral("install finished")));
    EXPECT_TRUE(demo->endsWithZero()) << demo->errors().toStdString();
    // The panel as the adapter was before the install, and as it is after.
    EXPECT_TRUE(demo->output().contains("panel: installed Version: Not Installed")) << demo->output().toStdString();
    EXPECT_EQ(demo->output().count("panel: installed"), 2) << demo->output().toStdString();
}

TEST_F(DemoReplay, TellsADivergenceAndEndsWithOne)
{
    // The recording of a listing has no install in it.
    const RecordedSession recorded =
        recordSimulated({{4, "04020001", SimulatedFirmware::none, std::nullopt}}, listSession);
    auto demo = startReplay(write("list.jsonl", recorded.text));
    EXPECT_TRUE(demo->printed(QStringLiteral("install failed")));
    EXPECT_FALSE(demo->endsWithZero());
    EXPECT_NE(demo->errors().toStdString().find("vantrel-update-demo: replay diverged at exchange "), std::string::npos);
}

TEST_F(DemoReplay, RefusesWhatIsNoRecordingBeforeTheWindowOpens)
{
    const std::string notes = write("notes.txt", "hello\n");
    const std::string folderPath = folder.path().toStdString();
    struct Case {
        std::string file;
        std::string says;  // after the file's name
    };
    std::vector<Case> cases = {
        {notes, ": line 1: this is not a recording of a device session (its first line is not JSON)"},
        {folderPath, ": it is a folder"},
    };
#ifndef _WIN32
    // The system's devices and special files.
    const std::string special = ": it is a device or another special file, not a file";
    cases.insert(cases.end(), {{"/dev/zero", special}, {"/dev/urandom", special},
                               {"/proc/self/mem", ": the system failed to read it"}});
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        auto demo = startReplay(c.file);
        EXPECT_TRUE(demo->endsWith(2));
        const std::string errors = demo->errors().toStdString();
        EXPECT_NE(errors.find("vantrel-update-demo: "), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.file + c.says + "\n"), std::string::npos) << errors;
    }
}

}  // namespace
