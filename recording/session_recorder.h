#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/device_call.h"
#include "platform/stop_signals.h"
#include "platform/platform.h"
#include "recording/anonymiser.h"
#include "recording/exchange.h"

namespace recording {

// What a recording says of itself, and whether identities are replaced.
struct RecordSettings {
    // The program's arguments without the recording options.
    std::vector<std::string> command;
    std::string backend;  // what the session runs on, for the reader
    bool anonymise = false;
    // With anonymise: the lowest serial numbers that variants take, so that
    // placeholders keep their order against them (see Anonymiser).
    std::vector<std::string> serialBoundaries;
    // With anonymise: serial numbers that the command names (--serial S),
    // so that the command line carries their placeholders too.
    std::vector<std::string> commandSerials;
    // With anonymise: command words that stand for a device path (--port P
    // names the adapter at a path), each {word, path}: the word is recorded
    // as the path's placeholder.
    std::vector<std::pair<std::string, std::string>> commandDevicePaths;
};

// A backend that forwards every call to another one and writes each exchange
// to `out` as it happens, one line each, flushed, so that a session that
// ends badly still leaves what it did. The HID library is not offered:
// nothing of the updater's own reads HID strings, and a replay could not
// answer them, so a recorded session behaves as its replay does.
//
// Calls may come from several threads at once, each in its lane
// (platform::callLane): they are written in the order they end, each with
// its lane. A watch on the devices is the backend's own.
class SessionRecorder : public platform::DeviceCallBackend, public platform::StopPlaces {
public:
    SessionRecorder(std::shared_ptr<platform::UsbBackend> backend, platform::Clock &clock,
                    std::unique_ptr<std::ostream> out, const RecordSettings &settings);
    ~SessionRecorder() override;
    SessionRecorder(const SessionRecorder &) = delete;
    SessionRecorder &operator=(const SessionRecorder &) = delete;

    // Writes the end line, once, then completes the file (see keepWhenDone);
    // false when the recording could not be written whole. Later calls
    // through the seam still reach the backend but are no longer written.
    bool finish();
    std::size_t exchanges() const;
    // Why the recording could not be written whole, once finish() said so.
    const std::string &failureReason() const { return failureReason_; }

    // What finish() does last: `complete` closes the file and moves it where
    // it belongs, giving the reason it failed or nothing. Until then it is
    // at `unfinishedPath`, a name that says so.
    void keepWhenDone(std::string unfinishedPath, std::function<std::string()> complete);
    const std::string &unfinishedPath() const { return unfinishedPath_; }

    std::unique_ptr<platform::DeviceWatch> watchDevices(std::function<void()> changed) override;

    // Keeps the place where the calling lane first acts on a stop.
    int stopHere(int requested) override;

private:
    struct Read {
        std::uint8_t *buffer = nullptr;
        std::uint32_t count = 0;
    };

    void answer(platform::DeviceCall &call) override;
    HandleId issue(platform::Handle handle);
    HandleId idOf(platform::Handle handle) const;
    void note(Exchange exchange);
    void writeLine(const std::string &line);

    std::shared_ptr<platform::UsbBackend> backend_;
    platform::Clock &clock_;
    // Over everything below; never held while the backend works on a call.
    mutable std::mutex mutex_;
    std::unique_ptr<std::ostream> out_;
    bool anonymise_;
    Anonymiser anonymiser_;
    std::map<platform::Handle, HandleId> ids_;
    HandleId nextId_ = 1;
    std::map<platform::Handle, Read> reads_;  // by slot: the latest read started on it
    std::set<unsigned> stoppedLanes_;         // those that acted on a stop
    std::int64_t lastMicroseconds_;
    std::size_t exchanges_ = 0;
    bool finished_ = false;
    std::string failureReason_;
    std::string unfinishedPath_;
    std::function<std::string()> complete_;
};

}  // namespace recording
