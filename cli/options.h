#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Process exit codes of vantrel-flash.
enum ExitCode : int {
    exitSuccess = 0,
    exitFailure = 1,     // an install or device failure
    exitUsage = 2,       // the command line is wrong
    exitNoAdapter = 3,   // no adapter, or no unambiguous choice of one
};

// One adapter on the virtual bus, as --simulate describes it.
struct SimulatedAdapterSetup {
    std::uint16_t productId = 0;
    std::string variant;
    std::string serialNumber;
    bool installed = false;  // flash holds the carried image
    std::string fault;       // empty: none
};

struct Options {
    enum class Command { list, info, install, help, version };
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

// The faults that --simulate understands, for the help text and checking.
extern const char *const simulatedFaults[];

extern const char *const usageText;
