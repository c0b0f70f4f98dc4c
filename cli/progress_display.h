#pragma once

#include <cstddef>
#include <string>

#include "update/install_task.h"

class Output;

// Shows the progress of the tasks over the flash: a bar with the task, bytes
// done and rate on a terminal, fitted to its width; one line per task
// elsewhere. A task that ends early shows how far it really got, and that
// it failed or was stopped.
class ProgressDisplay {
public:
    // On standard error when standard output carries JSON.
    ProgressDisplay(Output &output, bool onMessages);

    void taskStarted(InstallTask task, int bytes);
    void taskProgress(int bytesDone);
    void taskEndedEarly(int bytesDone, bool stopped);

private:
    void draw(int done, const char *ending);

    Output &output_;
    bool onMessages_;
    std::string label_;
    int total_ = 0;
    double start_ = 0;
    std::size_t drawnLength_ = 0;  // of the bar's line on the terminal
    bool ended_ = false;  // shown ended; reports until the next task are the engine's clean-up
};

// How the tool names a task in its progress: "Erasing".
const char *progressLabel(InstallTask task);
