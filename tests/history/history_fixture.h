#pragma once

// What the history's tests share: a folder of their own, entries as stations
// make them, and the ids of what a query gave.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "history/history.h"

// A new folder, gone with everything in it when the test ends.
class TemporaryFolder {
public:
    TemporaryFolder()
        : path_(std::filesystem::temp_directory_path() / ("vantrel-history-test-" + history::newEntryId()))
    {
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A failed install as a station reports it, every member given; `number`
// tells entries apart.
inline history::HistoryEntry failedInstall(int number, std::string serial = "SN-0001")
{
    using namespace std::chrono;
    history::HistoryEntry entry;
    entry.time = history::TimePoint(sys_days(year(2025) / 5 / 20) + hours(13) + minutes(number) + milliseconds(345));
    entry.utcOffsetMinutes = 120;
    entry.station = "line-3-station-" + std::to_string(number % 4);
    entry.program = "vantrel-flash";
    entry.programVersion = "1.1.1";
    entry.serial = std::move(serial);
    entry.port = "1-4.2";
    entry.variant = "arm-standard";
    entry.firmwareBefore = "2.0 \xB5-build";  // device text: Latin-1
    entry.firmwareAfter = std::nullopt;
    entry.carriedVersion = "2.1";
    entry.imageCrc32 = 0xDEADBEEF;
    entry.outcome = "failed";
    entry.errorKind = "no-reply";
    entry.message = "writing: the adapter did not answer (entry " + std::to_string(number) + ")";
    entry.stoppedIn = history::StopPoint{"write", 40960, 131072};
    entry.duration = milliseconds(4200 + number);
    return entry;
}

// A successful install, with nothing it leaves empty.
inline history::HistoryEntry installed(int number, std::string serial = "SN-0002")
{
    history::HistoryEntry entry = failedInstall(number, std::move(serial));
    entry.firmwareAfter = "2.1";
    entry.outcome = "installed";
    entry.errorKind = std::nullopt;
    entry.message = "";
    entry.stoppedIn = std::nullopt;
    return entry;
}

inline std::vector<std::string> idsOf(const std::vector<history::HistoryEntry> &entries)
{
    std::vector<std::string> ids;
    for (const history::HistoryEntry &entry : entries)
        ids.push_back(entry.id);
    return ids;
}

inline std::vector<std::string> idsOf(std::initializer_list<const history::HistoryEntry *> entries)
{
    std::vector<std::string> ids;
    for (const history::HistoryEntry *entry : entries)
        ids.push_back(entry->id);
    return ids;
}

#ifndef _WIN32
// Runs `work(index)` in `count` processes at once and waits for them all. A
// process whose work throws HistoryError says why on standard error, and the
// test fails.
inline void inProcesses(int count, const std::function<void(int)> &work)
{
    std::vector<pid_t> children;
    for (int index = 0; index < count; ++index) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int status = 0;
            try {
                work(index);
            } catch (const history::HistoryError &error) {
                std::fprintf(stderr, "process %d: %s\n", index, error.what());
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
}
#endif
