#pragma once

// The built vantrel-flash run by the benchmarks as a user runs it, and what
// its recording of the session says of time.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"

struct TimedRun {
    ChildProcess::Ending ending;
    double wallSeconds;
};

inline TimedRun runFlash(const std::vector<std::string> &arguments)
{
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child(VANTREL_FLASH, arguments);
    ChildProcess::Ending ending = child.wait();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {std::move(ending), took.count()};
}

// A recording's times: each lane's first exchange, and each lane's first
// write (its first loader command), and the whole session, in seconds on the
// clock it ran on.
struct RecordedTimes {
    std::map<unsigned, double> firstCall;
    std::map<unsigned, double> firstWrite;
    double whole = 0;
    std::uint64_t bytes = 0;  // moved over the bus, both ways
};

inline RecordedTimes recordedTimes(const std::string &file)
{
    RecordedTimes times;
    std::ifstream in(file);
    std::int64_t at = 0;
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json object = nlohmann::json::parse(line);
        if (!object.contains("dt"))
            continue;
        at += object["dt"].get<std::int64_t>();
        if (!object.contains("n"))
            continue;  // the end line
        const unsigned lane = object.value("lane", 0U);
        const double seconds = static_cast<double>(at) / 1e6;
        times.firstCall.emplace(lane, seconds);
        if (object["op"] == "write")
            times.firstWrite.emplace(lane, seconds);
        if (object["op"] == "result" && object["bytes"].is_number())
            times.bytes += object["bytes"].get<std::uint64_t>();
    }
    times.whole = static_cast<double>(at) / 1e6;
    return times;
}
