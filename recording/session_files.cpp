#include "recording/session_files.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "recording/recording_format.h"

namespace recording {

std::shared_ptr<SessionRecorder> recordSession(const std::string &path, std::shared_ptr<platform::UsbBackend> backend,
                                               platform::Clock &clock, const RecordSettings &settings)
{
    // Binary, so that a line ends in LF on every system.
    auto file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!*file)
        throw RecordingError{"cannot write the recording " + path};
    return std::make_shared<SessionRecorder>(std::move(backend), clock, std::move(file), settings);
}

std::string commandText(const std::vector<std::string> &command)
{
    std::string text;
    for (const std::string &word : command)
        text += (text.empty() ? "" : " ") + word;
    return text.empty() ? "(no command)" : text;
}

void checkCommand(const RecordingHeader &header, const std::vector<std::string> &command)
{
    if (header.command != command)
        throw RecordingError{"the recording is of \"" + commandText(header.command) + "\", not of \"" +
                             commandText(command) + "\""};
}

std::shared_ptr<SessionReplay> replaySession(const std::string &path,
                                             const std::optional<std::vector<std::string>> &command,
                                             const ReplayOptions &options)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw RecordingError{"cannot read the recording " + path};
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        throw RecordingError{"cannot read the recording " + path};
    ParsedRecording parsed = parseRecording(text);
    if (!parsed.recording)
        throw RecordingError{path + ": " + parsed.error};
    try {
        if (command)
            checkCommand(parsed.recording->header, *command);
    } catch (const RecordingError &e) {
        throw RecordingError{path + ": " + e.message};
    }
    return SessionReplay::create(std::move(*parsed.recording), options);
}

}  // namespace recording
