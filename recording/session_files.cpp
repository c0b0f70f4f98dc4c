#include "recording/session_files.h"

#include <array>
#include <filesystem>
#include <cerrno>
#include <fstream>

#include "platform/files.h"
#include "recording/recording_format.h"

namespace recording {

namespace {

std::string cannotWrite(const std::string &path, const std::string &reason)
{
    return "cannot write the recording " + path + ": " + reason;
}

}  // namespace

std::shared_ptr<SessionRecorder> recordSession(const std::string &path, std::shared_ptr<platform::UsbBackend> backend,
                                               platform::Clock &clock, const RecordSettings &settings)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status))
        throw RecordingError{cannotWrite(path, "it is a folder")};
    // A device or a pipe (/dev/stdout, a FIFO a reader waits on) is written
    // as it is: there is nothing to put in its place.
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        errno = 0;
        auto file = std::make_unique<std::ofstream>(path, std::ios::binary);
        if (!*file)
            throw RecordingError{cannotWrite(path, platform::reasonOf(errno != 0 ? errno : EIO))};
        return std::make_shared<SessionRecorder>(std::move(backend), clock, std::move(file), settings);
    }
    // A file is written beside its place (beside the file a link names)
    // under a name of its own, and moved there whole at the end: a reader
    // never sees half a recording, and two sessions recording to one file
    // each leave a whole one, the last to end.
    const std::string target = fs::exists(status) ? fs::canonical(path, error).string() : path;
    const std::string place = error ? path : target;
    const std::string unfinished = place + ".unfinished-" + std::to_string(platform::processId());
    if (const std::string reason = platform::createNewFile(unfinished); !reason.empty())
        throw RecordingError{cannotWrite(path, reason)};
    errno = 0;
    // Binary, so that a line ends in LF on every system.
    auto file = std::make_unique<std::ofstream>(unfinished, std::ios::binary | std::ios::trunc);
    if (!*file) {
        platform::removeFile(unfinished);
        throw RecordingError{cannotWrite(path, platform::reasonOf(errno != 0 ? errno : EIO))};
    }
    std::ofstream &stream = *file;
    auto recorder = std::make_shared<SessionRecorder>(std::move(backend), clock, std::move(file), settings);
    recorder->keepWhenDone(unfinished, [&stream, unfinished, place]() -> std::string {
        errno = 0;
        stream.close();
        std::string reason = stream ? std::string() : platform::reasonOf(errno != 0 ? errno : EIO);
        if (reason.empty())
            reason = platform::replaceFile(unfinished, place);
        // Whole or not at all.
        if (!reason.empty())
            platform::removeFile(unfinished);
        return reason;
    });
    return recorder;
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

namespace {

// The file's bytes, and some beyond the most a recording may have, so that
// the reader tells a file too large. Only a regular file is read: a folder or
// a device (one that never ends, or ends in an error) is no recording, and
// every failure to read is told as the file's.
std::string readRecordingFile(const std::string &path)
{
    const std::string cannot = "cannot read the recording " + path;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
        throw RecordingError{cannot + ": it is a folder"};
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw RecordingError{cannot + ": it is a device or another special file, not a file"};
    std::ifstream file(path, std::ios::binary);
    if (error || !file)
        throw RecordingError{cannot};
    std::string text;
    std::array<char, 64 * 1024> chunk;
    while (text.size() <= maximumRecordingBytes && file) {
        // A stream's read sets the bad bit where the system's read fails;
        // reading through its buffer directly would throw instead.
        file.read(chunk.data(), chunk.size());
        text.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad())
        throw RecordingError{cannot + ": the system failed to read it"};
    return text;
}

}  // namespace

std::shared_ptr<SessionReplay> replaySession(const std::string &path,
                                             const std::optional<std::vector<std::string>> &command,
                                             const ReplayOptions &options)
{
    ParsedRecording parsed = parseRecording(readRecordingFile(path));
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
