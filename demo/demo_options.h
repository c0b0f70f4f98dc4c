#pragma once

#include <string>
#include <vector>

#include "simulation/simulated_adapter.h"

// What the demo's command line asks for.
struct DemoOptions {
    // A Vantrel Max with older firmware than the carried one.
    simulation::SimulatedAdapterSetup adapter = {16, "04020001", simulation::SimulatedFirmware::older, std::nullopt};
    int attachAfter = 0;  // seconds after start
    // A recorded session to replay in place of the simulated adapter.
    std::string replayFile;
    bool autoInstall = false;
    std::string screenshotFolder;  // empty: no screenshots
    bool help = false;
    // What is left: the first of them goes to an updater already running.
    std::vector<std::string> arguments;
};

struct DemoUsageError {
    std::string message;
};

// Throws DemoUsageError for anything it does not understand.
DemoOptions parseDemoOptions(const std::vector<std::string> &arguments);

// Whether the command line asks for the help text, which needs no window:
// it is answered before the toolkit, which may want a display, starts.
bool asksForHelp(const std::vector<std::string> &arguments);

// The help text, with the variants and faults that this build knows.
std::string demoUsage();
