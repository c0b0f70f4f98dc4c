#pragma once

// Where the adapters of one command come from: the system's, simulated ones
// (--simulate) or a recorded session (--replay); and with --record, every
// exchange with them written to a file (docs/recordings.md).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/options.h"
#include "platform/doorbell.h"
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
    // A replay with nothing more to answer in that lane (platform::callLane):
    // a station takes up no more adapters once its own lane is used up.
    bool replayUsedUpIn(unsigned lane) const;

    // A watch on the adapters that come and go, calling `changed`; null
    // where the backend tells nothing (a replay, a system without it).
    std::unique_ptr<platform::DeviceWatch> watchDevices(std::function<void()> changed) const;
    // The station's wait for a change: until the bell rings (an adapter came
    // or went, a work ended) or `milliseconds` pass. A simulated line on
    // which nothing more can happen, with no work under way, waits in real
    // time: on the virtual clock the wait would take none, and the station
    // would spin a processor core until it is stopped.
    void waitForChange(platform::Doorbell &bell, std::uint32_t milliseconds, bool worksUnderWay) const;

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
