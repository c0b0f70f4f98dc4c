#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

class Simulation;

// Where a command's results go: text for people on standard output, or with
// --json a JSON document there; messages (errors, and with --json the
// progress) on standard error. Whoever writes to one stream gets it only
// after the other has been flushed, so that both in one file keep the order
// in which they were written.
class Output {
public:
    explicit Output(bool json) : json_(json) {}

    bool json() const { return json_; }
    std::FILE *results();
    std::FILE *messages();
    // Where progress goes: next to the text results, or out of the JSON's way.
    std::FILE *progress() { return json_ ? messages() : results(); }

    // The document written once, whole, when the command ends.
    nlohmann::json document = nlohmann::json::object();
    // One JSON value on a line of its own, at once (JSON Lines).
    void writeLine(const nlohmann::json &value);
    // On one line where the reader expects JSON Lines (a station whose
    // command line or recording is refused before its first adapter).
    void writeDocument(bool oneLine);
    // Whether everything written to standard output reached it: flushes it
    // and asks. A full disk or a closed pipe is found only this way.
    bool resultsWritten();

    bool lines = false;  // JSON Lines were written in place of the document
    const Simulation *simulation = nullptr;  // for the flash checks in simulated runs

private:
    bool json_;
};

// Text for JSON, whatever its bytes: every string the tool puts there is
// either its own ASCII or device text made UTF-8 (platform::utf8FromLatin1), and should
// one slip through, its invalid bytes are replaced rather than ending the
// report.
std::string dumpJson(const nlohmann::json &value, int indent);
