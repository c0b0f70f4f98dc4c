#include "cli/progress_display.h"

#include "platform/platform.h"

double secondsNow()
{
    platform::Clock &clock = platform::clock();
    const std::int64_t frequency = clock.counterFrequency();
    if (frequency <= 0)
        return clock.tickCount() / 1000.0;
    return static_cast<double>(clock.counterValue()) / static_cast<double>(frequency);
}

double ProgressDisplay::secondsSinceStart() const
{
    return secondsNow() - static_cast<double>(start_) / 1e6;
}

void ProgressDisplay::progress(int step, int steps, const char *taskdesc, const char *units)
{
    if (taskdesc) {
        task_ = taskdesc;
        units_ = units ? units : "";
        start_ = static_cast<std::int64_t>(secondsNow() * 1e6);
    }
    if (steps != -1)
        total_ = steps;
    draw(step);
}

void ProgressDisplay::draw(int step)
{
    const double seconds = secondsSinceStart();
    const double rate = seconds > 0 ? step / seconds / 1024.0 : 0.0;
    const bool finished = step >= total_;
    if (terminal_) {
        constexpr int width = 30;
        const int filled = total_ > 0 ? static_cast<int>(static_cast<long long>(step) * width / total_) : width;
        std::fprintf(out_, "\r%-44s [%-*s] %3d%% %d/%d %s %8.1f KiB/s", task_.c_str(), width,
                     std::string(static_cast<std::size_t>(std::min(filled, width)), '#').c_str(),
                     total_ > 0 ? static_cast<int>(static_cast<long long>(step) * 100 / total_) : 100, step, total_,
                     units_.c_str(), rate);
        if (finished)
            std::fputc('\n', out_);
        std::fflush(out_);
    } else if (finished) {
        std::fprintf(out_, "%s: %d %s, %.2f s\n", task_.c_str(), total_, units_.c_str(), seconds);
        std::fflush(out_);
    }
}
