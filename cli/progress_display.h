#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "update/install_engine.h"

// Shows the install sequence's progress: a bar with the task, bytes done and
// rate on a terminal, one line per task elsewhere.
class ProgressDisplay : public InstallHost {
public:
    ProgressDisplay(std::FILE *out, bool terminal) : out_(out), terminal_(terminal) {}

    void progress(int step, int steps, const char *taskdesc, const char *units) override;
    // The tool has no window: there is no button to disable and no poll to hold.
    void setInstallEnabled(bool) override {}
    void setPollingEnabled(bool) override {}
    void invalidatePanel() override {}

private:
    void draw(int step);
    double secondsSinceStart() const;

    std::FILE *out_;
    bool terminal_;
    std::string task_;
    std::string units_;
    int total_ = 0;
    std::int64_t start_ = 0;
};

// Seconds on the installed clock, which is the virtual one in simulations.
double secondsNow();
