#include "demo/demo_replay.h"

#include <cstdio>

#include "platform/platform.h"
#include "recording/session_files.h"

std::shared_ptr<recording::SessionReplay> openDemoReplay(const std::string &file)
{
    recording::ReplayOptions options;
    options.clock = platform::nativeServices().clock;
    options.polledListings = true;
    // The window runs whatever it is shown: any command's recording will do.
    std::shared_ptr<recording::SessionReplay> replay = recording::replaySession(file, std::nullopt, options);
    replay->onDivergence([](const std::string &message) {
        std::fprintf(stderr, "vantrel-update-demo: %s\n", message.c_str());
        std::fflush(stderr);
    });
    return replay;
}
