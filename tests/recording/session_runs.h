#pragma once

// Sessions of the updater's own steps, run on whatever backend is installed,
// and the means to record one on a simulated adapter and replay it.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "loader/loader_info.h"
#include "platform/virtual/virtual_bus.h"
#include "platform/virtual/virtual_clock.h"
#include "recording/recording_format.h"
#include "recording/session_recorder.h"
#include "recording/session_replay.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/message_of.h"
#include "tests/support/recording_host.h"
#include "update/adapter_link.h"
#include "update/attached_adapters.h"
#include "update/firmware_image.h"
#include "update/install_engine.h"

// What a session showed: the failure's message ("" when none), what it read
// along the way, and the install's progress reports.
struct SessionOutcome {
    std::string message;
    std::vector<std::string> notes;
    std::vector<RecordingHost::Report> reports;
    friend bool operator==(const SessionOutcome &, const SessionOutcome &) = default;
};

inline void PrintTo(const SessionOutcome &outcome, std::ostream *os)
{
    *os << "message \"" << outcome.message << "\", notes:";
    for (const std::string &note : outcome.notes)
        *os << " [" << note << "]";
    *os << ", " << outcome.reports.size() << " progress reports";
}

using Session = std::function<SessionOutcome()>;

// The installed version as a note.
inline std::string versionNote(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    LoaderInfo info;
    link->getLoaderInfo(info);
    return device.serialNumber + ": " + installedVersion(info).value_or("not installed");
}

// As vantrel-flash list: every adapter of the family, each one's variant and
// installed version, or why it could not be read.
inline SessionOutcome listSession()
{
    SessionOutcome outcome;
    for (const UsbDeviceInfo &device : attachedAdapters()) {
        if (!device.firmwareImage()) {
            outcome.notes.push_back(device.serialNumber + ": not supported");
            continue;
        }
        const std::string failure = messageOf([&] { outcome.notes.push_back(versionNote(device)); });
        if (failure != "(no exception)")
            outcome.notes.push_back(device.serialNumber + ": " + failure);
    }
    return outcome;
}

// As vantrel-flash install: the one adapter, its version, the install, then
// the adapter listed and read afresh.
inline SessionOutcome installSession()
{
    SessionOutcome outcome;
    RecordingHost host;
    outcome.message = messageOf([&] {
        const DeviceList attached = attachedAdapters();
        if (attached.size() != 1)
            throw HException(noAdaptersText);
        const UsbDeviceInfo &device = attached.front();
        std::unique_ptr<HDataLink> link = openAdapterLink(device);
        LoaderInfo info;
        link->getLoaderInfo(info);
        outcome.notes.push_back("before: " + installedVersion(info).value_or("not installed"));
        FirmwareInstaller(device, link, !installedVersion(info), host).run();
        link.reset();
        for (const UsbDeviceInfo &again : attachedAdapters())
            outcome.notes.push_back("after: " + versionNote(again));
    });
    if (outcome.message == "(no exception)")
        outcome.message.clear();
    outcome.reports = host.reports;
    return outcome;
}

inline recording::RecordSettings testSettings()
{
    recording::RecordSettings settings;
    settings.command = {"test"};
    settings.backend = "simulated";
    return settings;
}

// A recording made of a session on simulated adapters, on the virtual clock.
struct RecordedSession {
    std::string text;
    SessionOutcome outcome;
};

inline RecordedSession recordSimulated(const std::vector<simulation::SimulatedAdapterSetup> &adapters,
                                       const Session &session,
                                       const recording::RecordSettings &settings = testSettings())
{
    platform::VirtualClock clock;
    const auto bus = platform::VirtualBus::create(clock);
    for (const simulation::SimulatedAdapterSetup &setup : adapters)
        simulation::attachSimulatedAdapter(*bus, setup);
    auto out = std::make_unique<std::ostringstream>();
    std::ostringstream &text = *out;
    RecordedSession recorded;
    {
        auto recorder = std::make_shared<recording::SessionRecorder>(bus, clock, std::move(out), settings);
        const platform::ScopedServices services({&clock, recorder});
        recorded.outcome = session();
        EXPECT_TRUE(recorder->finish());
        recorded.text = text.str();  // the recorder owns the stream
    }
    return recorded;
}

// A recording read back, or a failed test.
inline recording::Recording parsed(const std::string &text)
{
    recording::ParsedRecording result = recording::parseRecording(text);
    EXPECT_TRUE(result.recording) << result.error;
    return result.recording ? *result.recording : recording::Recording{};
}

struct ReplayedSession {
    SessionOutcome outcome;
    std::optional<std::string> verdict;
};

inline ReplayedSession replay(const std::string &text, const Session &session,
                              const recording::ReplayOptions &options = {})
{
    const auto replay = recording::SessionReplay::create(parsed(text), options);
    const platform::ScopedServices services(replay->services());
    ReplayedSession replayed;
    replayed.outcome = session();
    replayed.verdict = replay->verdict();
    return replayed;
}
