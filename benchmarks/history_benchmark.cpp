// What keeping an operation in the history costs: the time one entry adds
// to an install (an SQLite file in WAL mode, each entry on the disk before
// the append returns; a PostgreSQL server on its local socket, started here
// from Debian's packages), and the size of 100,000 entries in SQLite.
//
//   build/test/benchmarks/vantrel-history-benchmark

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "history/history.h"
#include "history/sqlite_store.h"

namespace {

using namespace history;

// An entry as a line writes them: mostly installs, now and then a failure.
HistoryEntry stationEntry(int number)
{
    HistoryEntry entry;
    entry.station = "line-3-station-2";
    entry.program = "vantrel-flash";
    entry.programVersion = "1.1.1";
    char serial[16];
    std::snprintf(serial, sizeof serial, "0402%04d", number % 10000);
    entry.serial = serial;
    entry.port = "1-4.2";
    entry.variant = "arm-standard";
    entry.firmwareBefore = "2.0";
    entry.carriedVersion = "2.1";
    entry.imageCrc32 = 0x5A17C0DEu;
    entry.duration = std::chrono::milliseconds(41250 + number % 1000);
    if (number % 10 == 9) {
        entry.outcome = "failed";
        entry.errorKind = "no-reply";
        entry.message = "writing: the adapter did not answer within 2000 ms";
        entry.stoppedIn = StopPoint{"write", 40960, 131072};
    } else {
        entry.outcome = "installed";
        entry.firmwareAfter = "2.1";
    }
    return entry;
}

class Folder {
public:
    Folder() : path_(std::filesystem::temp_directory_path() / ("vantrel-history-benchmark-" + newEntryId()))
    {
        std::filesystem::create_directories(path_);
    }
    ~Folder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A new entry each iteration; making it is not timed.
void appendEach(benchmark::State &state, History &history, int first)
{
    int number = first;
    for (auto _ : state) {
        state.PauseTiming();
        const HistoryEntry entry = stationEntry(number++);
        state.ResumeTiming();
        history.append(entry);
    }
}

void appendToSqlite(benchmark::State &state)
{
    Folder folder;
    History history(HistoryLocation{HistoryLocation::Kind::file, folder.path() / "history.sqlite", {}},
                    HistoryOptions{.spoolFile = folder.path() / "spool.sqlite"});
    appendEach(state, history, 0);
}
BENCHMARK(appendToSqlite)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The tests' server script, on a server of the benchmark's own.
class Server {
public:
    Server() : folder_("/tmp/vantrel-postgres-benchmark-" + std::to_string(::getpid()))
    {
        // Each commit on the disk, as on a line's server.
        ::setenv("VANTREL_POSTGRES_FSYNC", "on", 1);
        started_ = run("start") == 0;
    }
    ~Server() { run("stop"); }
    bool started() const { return started_; }
    std::string url() const
    {
        std::string password;
        std::getline(std::ifstream(folder_ + "/password"), password);
        return "postgresql://vantrel:" + password + "@/postgres?host=" + folder_;
    }

private:
    int run(const char *action)
    {
        return std::system(("bash " VANTREL_POSTGRES_SCRIPT " " + std::string(action) + " " + folder_).c_str());
    }
    std::string folder_;
    bool started_ = false;
};

void appendToPostgres(benchmark::State &state)
{
    Server server;
    if (!server.started()) {
        state.SkipWithError("no PostgreSQL server could be started");
        return;
    }
    Folder folder;
    try {
        History history(parseLocation(server.url()),
                        HistoryOptions{.delivery = Delivery::required, .spoolFile = folder.path() / "spool.sqlite"});
        history.append(stationEntry(0));  // connects, and makes the table
        appendEach(state, history, 1);
    } catch (const HistoryError &error) {
        state.SkipWithError(error.what());
    }
}
BENCHMARK(appendToPostgres)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The file's size once 100,000 entries are in it (sent in transactions of
// a thousand, which fills the pages as single appends do, only sooner).
void sizeOf100000Entries(benchmark::State &state)
{
    constexpr int entries = 100000;
    for (auto _ : state) {
        Folder folder;
        const std::filesystem::path file = folder.path() / "history.sqlite";
        {
            SqliteStore store(file);
            std::vector<HistoryEntry> batch;
            for (int i = 0; i < entries; ++i) {
                batch.push_back(stationEntry(i));
                if (batch.size() == 1000) {
                    store.appendAll(batch);
                    batch.clear();
                }
            }
        }
        const auto bytes = static_cast<double>(std::filesystem::file_size(file));
        state.counters["bytes"] = bytes;
        state.counters["bytesPerEntry"] = bytes / entries;
    }
}
BENCHMARK(sizeOf100000Entries)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
