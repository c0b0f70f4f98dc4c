#pragma once

#include <string>

// One state of a task's progress bar.
struct ProgressState {
    std::string task;
    long long done = 0;
    long long total = 0;
    std::string units;
    double kibPerSecond = 0;
    const char *ending = nullptr;  // "failed", "stopped": the task ended there
};

// The bar's line, at most `columns` - 1 characters wide so that the terminal
// never wraps it: with less room the bar narrows, then the rate and the
// counts go, then the task's text is shortened. `columns` 0: 80.
std::string progressLine(const ProgressState &state, int columns);
