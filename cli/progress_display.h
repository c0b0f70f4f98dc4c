#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/install_engine.h"

class Output;

// Where a task of the install sequence ended before its end.
struct TaskStop {
    std::string task;  // "compare", "erase", "write", "verify"
    int done = 0;
    int total = 0;
};

// Shows the install sequence's progress: a bar with the task, bytes done and
// rate on a terminal, fitted to its width; one line per task elsewhere. A
// task that ends early shows how far it really got, and that it failed or
// was stopped. It also passes a stop that a signal asked for on to the engine.
class ProgressDisplay : public InstallHost {
public:
    explicit ProgressDisplay(Output &output);

    void progress(int step, int steps, const char *taskdesc, const char *units) override;
    // The tool has no window: there is no button to disable and no poll to hold.
    void setInstallEnabled(bool) override {}
    void setPollingEnabled(bool) override {}
    void invalidatePanel() override {}
    void taskEndedEarly(int stepsDone) override;
    bool stopRequested() override;

    // The task that ended early, if one did.
    const std::optional<TaskStop> &stoppedTask() const { return stopped_; }

private:
    void draw(int step, const char *ending);
    double secondsSinceStart() const;

    Output &output_;
    std::string task_;
    std::string units_;
    int total_ = 0;
    double start_ = 0;
    std::size_t drawnLength_ = 0;  // of the bar's line on the terminal
    bool ended_ = false;  // the task has been shown ended; reports until the next are the engine's clean-up
    std::optional<TaskStop> stopped_;
};

// Seconds on the installed clock, which is the virtual one in simulations.
double secondsNow();

// The short name of one of the engine's task descriptions: "erase", ...
std::string taskName(const std::string &description);
