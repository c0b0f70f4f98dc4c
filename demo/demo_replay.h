#pragma once

#include <memory>
#include <string>

#include "recording/session_replay.h"

// A recorded session for the window: on the real clock, so that it takes as
// long as it did, with the window's listings matched as it polls. Tells a
// divergence on standard error as it happens. Throws recording::RecordingError
// for a file that is no recording.
std::shared_ptr<recording::SessionReplay> openDemoReplay(const std::string &file);
