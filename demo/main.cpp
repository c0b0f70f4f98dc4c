// The updater's window on a simulated adapter of the virtual USB bus, which
// runs on the real clock and takes as long as a real adapter would.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <QDir>
#include <QTimer>

#include "app/updater.h"
#include "app/updater_application.h"
#include "app/updater_main.h"
#include "demo/demo_adapter.h"
#include "demo/demo_options.h"
#include "demo/demo_replay.h"
#include "demo/window_follower.h"
#include "platform/platform.h"
#include "recording/session_files.h"

int main(int argc, char **argv)
{
    if (asksForHelp(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(demoUsage().c_str(), stdout);
        return 0;
    }
    // The toolkit takes its own options (-platform and the like) out first.
    UpdaterApplication app(argc, argv);
    DemoOptions options;
    std::optional<DemoAdapter> adapter;
    std::shared_ptr<recording::SessionReplay> replay;
    try {
        options = parseDemoOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(demoUsage().c_str(), stdout);
            return 0;
        }
        if (!options.screenshotFolder.empty() && !QDir().mkpath(QString::fromStdString(options.screenshotFolder)))
            throw DemoUsageError{"cannot make the folder " + options.screenshotFolder + " for --screenshots"};
        if (options.replayFile.empty())
            adapter.emplace(options);
        else
            replay = openDemoReplay(options.replayFile);
    } catch (const DemoUsageError &e) {
        std::fprintf(stderr, "vantrel-update-demo: %s (try vantrel-update-demo --help)\n", e.message.c_str());
        return 2;
    } catch (const recording::RecordingError &e) {
        // Refused before anything runs, as a wrong command line is.
        std::fprintf(stderr, "vantrel-update-demo: %s\n", e.message.c_str());
        return 2;
    }
    const platform::ScopedServices services(replay ? replay->services() : adapter->services());

    bool started = false;
    bool installed = false;
    UpdaterHooks hooks;
    hooks.started = [&](Updater &window, SingleInstance &instance) {
        started = true;
        new WindowFollower(window, instance, options, installed);
        if (adapter && options.attachAfter > 0)
            QTimer::singleShot(options.attachAfter * 1000, &window, [&] { adapter->plugIn(); });
    };
    const char *firstArgument = options.arguments.empty() ? nullptr : options.arguments.front().c_str();
    const int exitCode = runUpdater(app, firstArgument, hooks);
    if (!started)
        std::printf("An updater already runs in this session: it was handed the message, and this start ends.\n");
    // The window was shown something else than was recorded: already told.
    if (replay && replay->divergence())
        return 1;
    // A script running the demo learns whether the install it asked for happened.
    if (started && options.autoInstall && !installed)
        return 1;
    return exitCode;
}
