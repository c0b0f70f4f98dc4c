#include "cli/progress_display.h"

#include "cli/output.h"
#include "cli/progress_line.h"
#include "cli/stop_signal.h"
#include "platform/console.h"
#include "platform/platform.h"

double secondsNow()
{
    platform::Clock &clock = platform::clock();
    const std::int64_t frequency = clock.counterFrequency();
    if (frequency <= 0)
        return clock.tickCount() / 1000.0;
    return static_cast<double>(clock.counterValue()) / static_cast<double>(frequency);
}

std::string taskName(const std::string &description)
{
    if (description == installTask::erase)
        return "erase";
    if (description == installTask::download)
        return "write";
    if (description == installTask::verify)
        return "verify";
    if (description == installTask::compare)
        return "compare";
    return description;
}

ProgressDisplay::ProgressDisplay(Output &output) : output_(output) {}

double ProgressDisplay::secondsSinceStart() const { return secondsNow() - start_; }

void ProgressDisplay::progress(int step, int steps, const char *taskdesc, const char *units)
{
    if (taskdesc) {
        task_ = taskdesc;
        units_ = units ? units : "";
        start_ = secondsNow();
        ended_ = false;
    }
    if (steps != -1)
        total_ = steps;
    if (!ended_)
        draw(step, nullptr);
}

void ProgressDisplay::taskEndedEarly(int stepsDone)
{
    const char *ending = stopSignal() != 0 ? "stopped" : "failed";
    stopped_ = TaskStop{taskName(task_), stepsDone, total_};
    draw(stepsDone, ending);
    ended_ = true;
}

bool ProgressDisplay::stopRequested() { return stopSignal() != 0; }

void ProgressDisplay::draw(int step, const char *ending)
{
    std::FILE *out = output_.progress();
    const double seconds = secondsSinceStart();
    const bool finished = ending || step >= total_;
    if (platform::isTerminal(out)) {
        const ProgressState state{task_, step, total_, units_, seconds > 0 ? step / seconds / 1024.0 : 0.0, ending};
        std::string line = progressLine(state, platform::terminalColumns(out));
        const std::size_t length = line.size();
        // Spaces cover what a longer line before it left.
        if (length < drawnLength_)
            line.append(drawnLength_ - length, ' ');
        drawnLength_ = finished ? 0 : length;
        std::fprintf(out, "\r%s", line.c_str());
        if (finished)
            std::fputc('\n', out);
    } else if (ending) {
        std::fprintf(out, "%s: %s after %d of %d %s, %.2f s\n", task_.c_str(), ending, step, total_, units_.c_str(),
                     seconds);
    } else if (finished) {
        std::fprintf(out, "%s: %d %s, %.2f s\n", task_.c_str(), total_, units_.c_str(), seconds);
    }
    std::fflush(out);
}
