// The updater: one window on the adapters that the native backend finds.
// It takes no options; a first argument goes to an updater already running.

#include "app/updater_application.h"
#include "app/updater_main.h"

int main(int argc, char **argv)
{
    UpdaterApplication app(argc, argv);
    return runUpdater(app, argc > 1 ? argv[1] : nullptr);
}
