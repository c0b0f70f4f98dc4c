#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulation/simulated_adapter.h"

// Process exit codes of vantrel-flash.
enum ExitCode : int {
    exitSuccess = 0,
    exitFailure = 1,     // an install or device failure
    exitUsage = 2,       // the command line is wrong
    exitNoAdapter = 3,   // no adapter, or no unambiguous choice of one
};

struct Options {
    enum class Command { list, info, install, help };
    Command command = Command::help;
    std::optional<std::string> serialNumber;
    bool all = false;
    bool json = false;
    bool realTime = false;  // simulated adapters take real time
    std::vector<SimulatedAdapterSetup> simulate;
};

struct UsageError {
    std::string message;
};

// Throws UsageError for anything it does not understand.
Options parseOptions(const std::vector<std::string> &arguments);

// The help text, with the simulated variants and faults that this build knows.
std::string usageText();
