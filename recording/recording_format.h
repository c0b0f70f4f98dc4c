#pragma once

// The recording file: line-based text, one JSON object a line. The first line
// names the format, its version and the recorded command; one line follows
// for each exchange; a last line marks the end, so that a file cut short at a
// line boundary is told from a whole one. docs/recordings.md describes it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recording/exchange.h"

namespace recording {

// Each without its newline. `number` is the exchange's place, from 1.
std::string headerLine(const RecordingHeader &header);
std::string exchangeLine(const Exchange &exchange, std::size_t number);
std::string endLine(std::size_t exchanges, std::int64_t trailingMicroseconds);

// The most time between two exchanges: no call blocks for an hour, and a
// replay on the real clock waits out whatever a recording says.
inline constexpr std::int64_t maximumElapsedMicroseconds = std::int64_t{3600} * 1'000'000;

// What reading a recording gave: the recording, or why there is none.
struct ParsedRecording {
    std::optional<Recording> recording;
    std::string error;  // "line 12: ..." and the like; empty with a recording
};

// Reads a whole recording from the file's bytes. A pure function that never
// throws and accepts any input: whatever is not a whole recording of a known
// version, or goes beyond the bound above, comes back as an error.
ParsedRecording parseRecording(std::string_view text);

}  // namespace recording
