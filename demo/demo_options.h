#pragma once

#include <string>
#include <vector>

// What the demo's command line asks for.
struct DemoOptions {
    enum class Installed { older, carried, none };

    std::string variant = "max";
    std::string serialNumber = "04020001";
    Installed installed = Installed::older;
    std::string fault;    // empty: none
    int attachAfter = 0;  // seconds after start
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

extern const char *const demoUsage;
