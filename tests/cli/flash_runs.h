#pragma once

// The built vantrel-flash run as a user runs it, and what it wrote.

#include <algorithm>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"

using Arguments = std::vector<std::string>;

struct FlashRun {
    int exitCode;
    std::string out;
    std::string err;
    nlohmann::json document;  // stdout parsed, for --json runs
};

inline bool has(const Arguments &arguments, const char *word)
{
    return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
}

inline FlashRun flash(const Arguments &arguments, ChildProcess::Errors errors = ChildProcess::Errors::apart)
{
    ChildProcess child(VANTREL_FLASH, arguments, errors);
    const ChildProcess::Ending ending = child.wait();
    FlashRun run{ending.exitCode, ending.out, ending.err, {}};
    // A station writes JSON Lines, unless its command line is wrong.
    const bool lines = has(arguments, "--wait") && run.exitCode != 2;
    if (has(arguments, "--json") && !lines)
        run.document = nlohmann::json::parse(run.out);  // throws, failing the test, unless well-formed
    return run;
}

inline std::vector<nlohmann::json> jsonLines(const std::string &out)
{
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(nlohmann::json::parse(out.substr(start, end - start)));
    return lines;
}

inline bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }
