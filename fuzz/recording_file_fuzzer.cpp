// A recorded device session as a user attaches it to a report: any bytes.
// The reader takes a whole recording of a known version or says why not,
// and what it takes keeps to the bounds the replay relies on, and it can
// write again and read back the same.

#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "recording/recording_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const recording::ParsedRecording parsed = recording::parseRecording(text);
    FUZZ_CHECK(parsed.recording.has_value() == parsed.error.empty());
    if (!parsed.recording)
        return 0;
    const recording::Recording &recording = *parsed.recording;
    // What the replay relies on: times it can sum and wait out, and a
    // result's count that is the bytes it hands over.
    FUZZ_CHECK(recording.trailingMicroseconds >= 0 &&
               recording.trailingMicroseconds <= recording::maximumElapsedMicroseconds);
    for (const recording::Exchange &exchange : recording.exchanges) {
        FUZZ_CHECK(exchange.elapsedMicroseconds >= 0 &&
                   exchange.elapsedMicroseconds <= recording::maximumElapsedMicroseconds);
        FUZZ_CHECK(exchange.data.empty() || (exchange.bytes && exchange.data.size() == *exchange.bytes));
    }
    std::string again = recording::headerLine(recording.header) + "\n";
    for (std::size_t i = 0; i < recording.exchanges.size(); ++i)
        again += recording::exchangeLine(recording.exchanges[i], i + 1) + "\n";
    again += recording::endLine(recording.exchanges.size(), recording.trailingMicroseconds) + "\n";
    const recording::ParsedRecording reread = recording::parseRecording(again);
    FUZZ_CHECK(reread.recording.has_value());
    FUZZ_CHECK(reread.recording->exchanges.size() == recording.exchanges.size());
    return 0;
}
