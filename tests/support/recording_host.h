#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/install_engine.h"

// An install host that records every report and every change it is asked
// for, each report in the form of the window's progress contract with the
// task's name in place of its status text.
class RecordingHost : public InstallHost {
public:
    struct Report {
        int step;
        int steps;
        std::string taskdesc;  // "-" for null
        std::string units;     // "-" for null
        friend bool operator==(const Report &, const Report &) = default;
    };

    std::vector<Report> reports;
    std::vector<std::string> events;
    std::vector<int> endedEarly;  // the steps each task that ended early really did
    std::optional<std::size_t> stopAtReports;  // asks for a stop once this many reports came

    void taskStarted(InstallTask task, int bytes) override { reports.push_back({0, bytes, nameOf(task), "bytes"}); }
    void taskProgress(int bytesDone) override { reports.push_back({bytesDone, -1, "-", "-"}); }
    void setInstallEnabled(bool enabled) override { events.push_back(enabled ? "install on" : "install off"); }
    void setPollingEnabled(bool enabled) override { events.push_back(enabled ? "polling on" : "polling off"); }
    void invalidatePanel() override { events.push_back("panel invalid"); }
    void taskEndedEarly(int stepsDone) override { endedEarly.push_back(stepsDone); }
    bool stopRequested() override { return stopAtReports && reports.size() >= *stopAtReports; }

    // The steps reported, in order.
    std::vector<int> steps() const
    {
        std::vector<int> result;
        for (const Report &report : reports)
            result.push_back(report.step);
        return result;
    }
};

inline void PrintTo(const RecordingHost::Report &r, std::ostream *os)
{
    *os << "{" << r.step << ", " << r.steps << ", " << r.taskdesc << ", " << r.units << "}";
}
