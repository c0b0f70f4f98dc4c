#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

// The two streams a command writes: results on standard output (text for
// people, or JSON), messages on standard error. Whoever writes to one gets
// it only after the other has been flushed, so that both in one file keep
// the order in which they were written.
class Output {
public:
    std::FILE *results();
    std::FILE *messages();

    // Text on standard output, at once.
    void writeResults(const std::string &text);
    // One JSON value on a line of its own, at once (JSON Lines), or indented
    // over several lines.
    void writeJson(const nlohmann::json &value, bool oneLine);
    // Whether everything written to standard output reached it: flushes it
    // and asks. A full disk or a closed pipe is found only this way.
    enum class Delivery { written, readerGone, failed };
    Delivery deliverResults();

    // Whether standard output's reader has gone: a write to it failed for
    // that, or the system says so without a write.
    bool readerGone();

private:
    // Standard output's reader went away: a write to it failed for that.
    bool readerGone_ = false;
};

// Text for JSON, whatever its bytes: every string the tool puts there is
// either its own ASCII or device text made UTF-8 (platform::utf8FromLatin1),
// and should one slip through, its invalid bytes are replaced rather than
// ending the report.
std::string dumpJson(const nlohmann::json &value, int indent);
