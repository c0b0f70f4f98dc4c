#pragma once

// The recording file: line-based text, one JSON object a line. The first line
// names the format, its version and the recorded command; one line follows
// for each exchange; a last line marks the end, so that a file cut short at a
// line boundary is told from a whole one. docs/recordings.md describes it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recording/exchange.h"

namespace recording {

// Each without its newline. `number` is the exchange's place, from 1.
std::string headerLine(const RecordingHeader &header);
std::string exchangeLine(const Exchange &exchange, std::size_t number);
// The end line names the signal of a stop the user asked for, unless 0.
std::string endLine(std::size_t exchanges, std::int64_t trailingMicroseconds, int stopSignal = 0);

// Bounds that no recording comes near, so that whatever file a user names is
// read in bounded time and memory: a station that lists its adapters every
// second for days stays well below the size, a read of the largest request
// as hexadecimal below the line, and no call blocks for an hour.
inline constexpr std::size_t maximumRecordingBytes = std::size_t{64} << 20;
inline constexpr std::size_t maximumLineBytes = std::size_t{1} << 20;
inline constexpr std::int64_t maximumElapsedMicroseconds = std::int64_t{3600} * 1'000'000;

// What reading a recording gave: the recording, or why there is none.
struct ParsedRecording {
    std::optional<Recording> recording;
    std::string error;  // "line 12: ..." and the like; empty with a recording
};

// Reads a whole recording from the file's bytes. A pure function that never
// throws and accepts any input: whatever is not a whole recording of a known
// version, or goes beyond the bounds above, comes back as an error.
ParsedRecording parseRecording(std::string_view text);

}  // namespace recording
