#include "cli/device_session.h"

#include "cli/adapter_choice.h"
#include "cli/simulation.h"
#include "cli/stop_signal.h"
#include "platform/stop_signals.h"
#include "recording/session_files.h"
#include "update/variant.h"

namespace {

// The backend's name in the recording: what the session ran on, for whoever
// reads it.
constexpr const char *simulatedBackend = "simulated";

recording::RecordSettings recordSettings(const Options &options)
{
    recording::RecordSettings settings;
    settings.command = options.commandWords;
    settings.backend = options.simulate.empty() ? platformBackend() : simulatedBackend;
    settings.anonymise = options.anonymise;
    for (const Variant &variant : carriedVariants().rows())
        if (variant.lowestSerial)
            settings.serialBoundaries.push_back(variant.lowestSerial);
    // The words of --serial and --port get the placeholders of the serial
    // number and the device path they name, so that the anonymised
    // recording's command still chooses the same adapter.
    if (options.serialNumber)
        settings.commandSerials.push_back(*options.serialNumber);
    if (options.port)
        settings.commandDevicePaths.emplace_back(*options.port, devicePathAt(*options.port, settings.backend));
    return settings;
}

}  // namespace

DeviceSession::DeviceSession(const Options &options)
{
    if (!options.simulate.empty())
        simulation_ = std::make_unique<Simulation>(options.simulate, options.realTime);
    try {
        if (options.replayFile) {
            recording::ReplayOptions replayOptions;
            // The process's own clock makes the replay take the recorded time.
            if (options.realTime)
                replayOptions.clock = &platform::clock();
            replay_ = recording::replaySession(*options.replayFile, options.commandWords, replayOptions);
            services_ = std::make_unique<platform::ScopedServices>(replay_->services());
            platform::setStopPlaces(replay_.get());
        } else if (options.recordFile) {
            recordFile_ = *options.recordFile;
            // Over whatever is installed: the system's adapters or the simulated ones.
            recorder_ = recording::recordSession(recordFile_, platform::usbBackend(), platform::clock(),
                                                 recordSettings(options));
            services_ = std::make_unique<platform::ScopedServices>(platform::Services{nullptr, recorder_});
            platform::setStopPlaces(recorder_.get());
            // A second stop ends the tool at once: it says where the recording is left.
            setUnfinishedRecording(recorder_->unfinishedPath());
        }
    } catch (const recording::RecordingError &e) {
        throw Failure{options.replayFile ? ErrorKind::badRecording : ErrorKind::recordingFailed, e.message};
    }
}

DeviceSession::~DeviceSession() { platform::setStopPlaces(nullptr); }

std::optional<std::uint32_t> DeviceSession::simulatedFlashCrc(const UsbDeviceInfo &device) const
{
    return simulation_ ? simulation_->flashCrc(device.devicePath) : std::nullopt;
}

bool DeviceSession::replayUsedUp() const
{
    if (!replay_)
        return false;
    const bool usedUp = replay_->divergence() || !replay_->verdict();
    if (usedUp && !replay_->divergence())
        deliverRecordedStop();
    return usedUp;
}

void DeviceSession::deliverRecordedStop() const
{
    if (replay_ && replay_->recordedStop() != 0)
        platform::noteStopRequest(replay_->recordedStop());
}

bool DeviceSession::replayUsedUpIn(unsigned lane) const { return replay_ && replay_->usedUp(lane); }

std::unique_ptr<platform::DeviceWatch> DeviceSession::watchDevices(std::function<void()> changed) const
{
    return platform::usbBackend()->enumeration().watchDevices(std::move(changed));
}

void DeviceSession::waitForChange(platform::Doorbell &bell, std::uint32_t milliseconds, bool worksUnderWay) const
{
    if (simulation_ && simulation_->frozen() && !worksUnderWay)
        bell.waitInRealTime(milliseconds);
    else
        bell.wait(milliseconds);
}

std::optional<Failure> DeviceSession::finish(bool stoppedBySignal)
{
    if (recorder_ && !recorder_->finish())
        return Failure{ErrorKind::recordingFailed,
                       "the recording " + recordFile_ + " could not be written whole: " + recorder_->failureReason()};
    if (replay_ && !stoppedBySignal) {
        if (const std::optional<std::string> divergence = replay_->verdict())
            return Failure{ErrorKind::replayDiverged, *divergence};
        // Replayed to its end: a session that was stopped ends stopped.
        deliverRecordedStop();
    }
    return std::nullopt;
}
