#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/device_call.h"
#include "platform/platform.h"
#include "platform/virtual/device_time.h"
#include "platform/virtual/virtual_clock.h"
#include "recording/exchange.h"

namespace recording {

struct ReplayOptions {
    // The clock the recorded time passes on: null for the replay's own
    // virtual clock; a real clock makes the replay take as long as the
    // recorded session (the demo's window).
    platform::Clock *clock = nullptr;
    // The window lists devices on its own timer, as often as time allows: its
    // listings are matched loosely. A listing the recording does not have
    // next gets the latest recorded one again, and recorded listings that
    // the program skips are passed over. Everything else stays exact.
    bool polledListings = false;
};

// A backend that answers each call from a recording, in order, with the
// recorded outcomes and data, letting the recorded time pass between
// exchanges. When the program asks for something else than was recorded
// next, the replay notes the divergence and from then on fails every call at
// once; the program runs to its end, and its caller asks for divergence().
class SessionReplay : public platform::DeviceCallBackend, public std::enable_shared_from_this<SessionReplay> {
public:
    static std::shared_ptr<SessionReplay> create(Recording recording, const ReplayOptions &options = {});
    SessionReplay(const SessionReplay &) = delete;
    SessionReplay &operator=(const SessionReplay &) = delete;

    const RecordingHeader &header() const { return recording_.header; }
    // The services to install: this backend and the clock it replays on.
    platform::Services services();
    platform::Clock &clock() { return *clock_; }

    // The first divergence: "replay diverged at exchange 37: recorded a read
    // of 2 bytes, asked for a write of 13 bytes".
    const std::optional<std::string> &divergence() const { return divergence_; }
    // For a program that has ended: the divergence, or else the first
    // recorded exchange it never asked for.
    std::optional<std::string> verdict() const;
    // The signal of a stop the user asked for in the recorded session, 0
    // for none: a replay that reaches the end stops as the session did.
    int recordedStop() const { return recording_.stopSignal; }
    // Called once, as the divergence happens.
    void onDivergence(std::function<void(const std::string &)> observer) { observer_ = std::move(observer); }

private:
    struct Read {
        std::uint8_t *buffer = nullptr;
        std::uint32_t count = 0;
    };

    SessionReplay(Recording recording, const ReplayOptions &options);

    void answer(platform::DeviceCall &call) override;
    // The recorded exchange that answers `asked`, or null once diverged.
    const Exchange *recordedFor(const Exchange &asked);
    // A recorded result, its read data copied into the read's buffer.
    std::optional<std::uint32_t> fetched(const Exchange &recorded, HandleId slot);
    const Exchange *answerListing(const Exchange &asked);
    void diverge(const Exchange *recorded, const Exchange &asked);
    void passRecordedTime(const Exchange &recorded);

    Recording recording_;
    platform::VirtualClock ownClock_;
    platform::Clock *clock_;
    // Lets the recorded time go by on that clock, keeping to it on a real one.
    platform::DeviceTime time_;
    bool polledListings_;
    std::size_t next_ = 0;
    std::map<platform::DeviceClass, const Exchange *> latestListing_;
    std::map<HandleId, Read> reads_;  // by slot
    std::int64_t lastMicroseconds_;
    std::optional<std::string> divergence_;
    std::function<void(const std::string &)> observer_;
};

}  // namespace recording
