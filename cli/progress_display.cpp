#include "cli/progress_display.h"

#include "cli/output.h"
#include "cli/progress_line.h"
#include "platform/console.h"
#include "platform/platform.h"

const char *progressLabel(InstallTask task)
{
    switch (task) {
    case InstallTask::compare: return "Comparing";
    case InstallTask::erase: return "Erasing";
    case InstallTask::download: return "Writing";
    case InstallTask::verify: return "Verifying";
    default: return nameOf(task);
    }
}

ProgressDisplay::ProgressDisplay(Output &output, bool onMessages) : output_(output), onMessages_(onMessages) {}

void ProgressDisplay::taskStarted(InstallTask task, int bytes)
{
    label_ = progressLabel(task);
    total_ = bytes;
    start_ = platform::secondsNow();
    ended_ = false;
    draw(0, nullptr);
}

void ProgressDisplay::taskProgress(int bytesDone)
{
    if (!ended_)
        draw(bytesDone, nullptr);
}

void ProgressDisplay::taskEndedEarly(int bytesDone, bool stopped)
{
    draw(bytesDone, stopped ? "stopped" : "failed");
    ended_ = true;
}

void ProgressDisplay::draw(int done, const char *ending)
{
    std::FILE *out = onMessages_ ? output_.messages() : output_.results();
    const double seconds = platform::secondsNow() - start_;
    const bool finished = ending || done >= total_;
    if (platform::isTerminal(out)) {
        const ProgressState state{label_, done, total_, "bytes", seconds > 0 ? done / seconds / 1024.0 : 0.0, ending};
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
        std::fprintf(out, "%s: %s after %d of %d bytes, %.2f s\n", label_.c_str(), ending, done, total_, seconds);
    } else if (finished) {
        std::fprintf(out, "%s: %d bytes, %.2f s\n", label_.c_str(), total_, seconds);
    }
    std::fflush(out);
}
