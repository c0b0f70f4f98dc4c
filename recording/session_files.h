#pragma once

// Recording a session to a file and replaying one from a file: what the
// command-line tool and the demo call.
//
//   record:  auto recorder = recordSession(path, platform::usbBackend(), platform::clock(), settings);
//            platform::ScopedServices services({nullptr, recorder});
//            ... run the command ...
//            recorder->finish();   // false: the file could not be written whole
//
//   replay:  auto replay = replaySession(path, command);
//            platform::ScopedServices services(replay->services());
//            ... run the command ...
//            if (auto divergence = replay->verdict()) ... report it, exit code 1
//
// Both throw RecordingError with a message fit for the user.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/session_recorder.h"
#include "recording/session_replay.h"

namespace recording {

struct RecordingError {
    std::string message;
};

// Starts writing a recording of a session on `backend`, timed on `clock`.
// Throws RecordingError when the file cannot be made.
std::shared_ptr<SessionRecorder> recordSession(const std::string &path, std::shared_ptr<platform::UsbBackend> backend,
                                               platform::Clock &clock, const RecordSettings &settings);

// Reads a recording for a replay. With a command, the recording must be of
// that command (the same words); without one any recording does. Throws
// RecordingError for a file that cannot be read, is no whole recording of a
// known version, or is of another command.
std::shared_ptr<SessionReplay> replaySession(const std::string &path,
                                             const std::optional<std::vector<std::string>> &command,
                                             const ReplayOptions &options = {});

// The same check for a recording already read.
void checkCommand(const RecordingHeader &header, const std::vector<std::string> &command);

// The words of a command as one line, for messages.
std::string commandText(const std::vector<std::string> &command);

}  // namespace recording
