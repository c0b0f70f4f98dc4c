// The updater: one window on the adapters that the native backend finds.
// It takes no options; a first argument goes to an updater already running.

#include "app/updater_application.h"
#include "app/updater_main.h"
#include "app/window_history.h"

int main(int argc, char **argv)
{
    UpdaterApplication app(argc, argv);
    // Every install from the window, kept without a word in the window.
    const WindowHistory history;
    return runUpdater(app, argc > 1 ? argv[1] : nullptr);
}
