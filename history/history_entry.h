#pragma once

// One operation on one adapter, as the history keeps it.
//
// Text that came from a device (the serial number, the port, the versions it
// reported, and the message, which quotes them) is 8-bit: one byte a
// character, as platform/device_text.h describes, and is kept byte for byte.
// Text the program or the user made (station, program, variant, outcome,
// error kind, task) is UTF-8.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace history {

using Milliseconds = std::chrono::milliseconds;
using TimePoint = std::chrono::sys_time<Milliseconds>;

// Where an operation stopped: the task's name and how far it had got.
struct StopPoint {
    std::string task;
    std::int64_t done = 0;
    std::int64_t total = 0;
    friend bool operator==(const StopPoint &, const StopPoint &) = default;
};

// A random version-4 UUID in its lower-case text form: the entry's identity
// wherever it goes, so that sending an entry twice keeps it once.
std::string newEntryId();
// The current time to the millisecond, and this computer's offset from UTC
// at a given time, in minutes (120 in Central European Summer Time).
TimePoint timeNow();
int localUtcOffsetMinutes(TimePoint time);
// This computer's host name, an entry's station unless the user names one.
std::string defaultStationName();

struct HistoryEntry {
    std::string id = newEntryId();
    TimePoint time = timeNow();  // in UTC
    int utcOffsetMinutes = localUtcOffsetMinutes(time);
    std::string station = defaultStationName();
    std::string program;
    std::string programVersion;
    std::string serial;  // device text: every byte kept, NUL included
    std::string port;    // device text
    std::optional<std::string> variant;
    std::optional<std::string> firmwareBefore;  // device text; none when nothing was installed or read
    std::optional<std::string> firmwareAfter;   // device text
    std::optional<std::string> carriedVersion;  // device text; none for an adapter the program carries nothing for
    std::optional<std::uint32_t> imageCrc32;
    std::string outcome;                   // by name: installed, current, verified, differs, failed, ...
    std::optional<std::string> errorKind;  // by name
    std::string message;                   // device text
    std::optional<StopPoint> stoppedIn;
    Milliseconds duration{0};

    friend bool operator==(const HistoryEntry &, const HistoryEntry &) = default;
};

}  // namespace history
