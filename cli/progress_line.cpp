#include "cli/progress_line.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int defaultColumns = 80;
constexpr int widestBar = 30;
constexpr int narrowestBar = 10;

std::string bar(const ProgressState &state, int width)
{
    const long long filled = state.total > 0 ? std::min<long long>(state.done * width / state.total, width) : width;
    std::string text(static_cast<std::size_t>(width) + 2, ' ');
    text.front() = '[';
    text.replace(1, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
    text.back() = ']';
    return text;
}

std::string percent(const ProgressState &state)
{
    char text[8];
    std::snprintf(text, sizeof text, "%3d%%",
                  static_cast<int>(state.total > 0 ? state.done * 100 / state.total : 100));
    return text;
}

std::string counts(const ProgressState &state)
{
    return std::to_string(state.done) + "/" + std::to_string(state.total) + " " + state.units;
}

std::string rate(const ProgressState &state)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KiB/s", state.kibPerSecond);
    return text;
}

}  // namespace

std::string progressLine(const ProgressState &state, int columns)
{
    const std::size_t room = static_cast<std::size_t>(std::max(columns > 0 ? columns : defaultColumns, 2) - 1);
    const std::string ending = state.ending ? std::string(" ") + state.ending : std::string();
    // From the fullest line to the barest: the first that fits is shown.
    // Appended piece by piece: GCC 12 warns falsely about "x" + a temporary
    // string in optimised builds.
    const auto compose = [&](const std::string &task, int barWidth, bool withCounts, bool withRate) {
        std::string line = task;
        const auto field = [&line](const std::string &text) {
            line += ' ';
            line += text;
        };
        if (barWidth > 0)
            field(bar(state, barWidth));
        field(percent(state));
        if (withCounts)
            field(counts(state));
        if (withRate)
            field(rate(state));
        line += ending;
        return line;
    };
    for (const bool withRate : {true, false}) {
        for (int barWidth = widestBar; barWidth >= narrowestBar; --barWidth) {
            const std::string line = compose(state.task, barWidth, true, withRate);
            if (line.size() <= room)
                return line;
        }
    }
    const std::string bare = compose("", narrowestBar, false, false);
    if (bare.size() + 4 <= room) {
        // The task's text, shortened to what is left.
        const std::size_t left = room - bare.size();
        if (state.task.size() <= left)
            return state.task + bare;
        return state.task.substr(0, left - 3) + "..." + bare;
    }
    return compose("", 0, false, false).substr(1, room);
}
