#pragma once

#include <cstdio>

#include <nlohmann/json.hpp>

#include "cli/options.h"

class Simulation;

// Where a command's results go: text for people, a JSON document for
// machines; the document is written once, whole, when the command ends.
struct Output {
    bool json = false;
    std::FILE *text = stdout;      // results, unless json
    std::FILE *messages = stderr;  // errors and, with json, progress
    nlohmann::json document = nlohmann::json::object();
    const Simulation *simulation = nullptr;  // for the flash checks in simulated runs
};

int runList(const Options &options, Output &output);
int runInfo(const Options &options, Output &output);
int runInstall(const Options &options, Output &output);
