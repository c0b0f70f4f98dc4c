#pragma once

// Where the adapters of one command come from: the system's, simulated ones
// (--simulate) or a recorded session (--replay); and with --record, every
// exchange with them written to a file (docs/recordings.md).

#include <memory>
#include <optional>
#include <string>

#include "cli/options.h"
#include "platform/platform.h"
#include "update/adapter_reading.h"

class Simulation;

namespace recording {
class SessionRecorder;
class SessionReplay;
}  // namespace recording

class DeviceSession {
public:
    // Installs the command's adapters for as long as the session lives.
    // Throws UsageError for simulated adapters that cannot be, and Failure
    // for a recording that cannot be written or replayed; nothing has run
    // then.
    explicit DeviceSession(const Options &options);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // What a simulated adapter's flash holds over its carried image's
    // range; nothing for a real or replayed adapter.
    std::optional<std::uint32_t> simulatedFlashCrc(const UsbDeviceInfo &device) const;

    // A replay with nothing more to answer: the command has asked for every
    // recorded exchange, or for another one. A station that waits for the
    // next adapter ends there, where the recorded station was stopped.
    bool replayUsedUp() const;
    // The station's pause between two looks at the bus.
    void pauseBetweenPolls(std::uint32_t milliseconds) const;

    // Ends the session, however the command ended: writes the recording's
    // end line, and judges the replay unless a signal cut it short. The
    // failure this makes of the command: a recording that could not be
    // written whole, or a replay that diverged.
    std::optional<Failure> finish(bool stoppedBySignal);

private:
    // Notes the stop that ended the recorded session, if one did.
    void deliverRecordedStop() const;

    std::unique_ptr<Simulation> simulation_;
    std::string recordFile_;
    std::shared_ptr<recording::SessionRecorder> recorder_;
    std::shared_ptr<recording::SessionReplay> replay_;
    // Last, so that it goes first: the simulation's services are beneath.
    std::unique_ptr<platform::ScopedServices> services_;
};
