#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_call.h"
#include "platform/platform.h"
#include "platform/stop_signals.h"
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
//
// A program that works on several adapters at once calls from several
// threads, each in its lane (platform::callLane): each lane is answered from
// its own recorded calls, in their order and at their recorded times,
// however the threads take turns this time.
class SessionReplay : public platform::DeviceCallBackend,
                      public platform::StopPlaces,
                      public std::enable_shared_from_this<SessionReplay> {
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
    std::optional<std::string> divergence() const;
    // For a program that has ended: the divergence, or else the first
    // recorded exchange it never asked for.
    std::optional<std::string> verdict() const;
    // Whether the lane has nothing more to answer: diverged, or every call
    // recorded in it asked for.
    bool usedUp(unsigned lane) const;
    // The signal of a stop the user asked for in the recorded session, 0
    // for none: a replay that reaches the end stops as the session did.
    int recordedStop() const { return recording_.stopSignal; }
    // The stop where the recorded lane acted on one: there, and from then
    // on in that lane, the recorded stop; elsewhere none, unless the user
    // asks for one during the replay.
    int stopHere(int requested) override;
    // Called once, as the divergence happens.
    void onDivergence(std::function<void(const std::string &)> observer) { observer_ = std::move(observer); }

private:
    struct Read {
        std::uint8_t *buffer = nullptr;
        std::uint32_t count = 0;
    };
    // One lane's recorded calls, by their place in the recording.
    struct Lane {
        std::vector<std::size_t> exchanges;
        std::size_t next = 0;
        // How far the program has fallen behind the recorded time in this
        // lane: its own waits may have taken longer than recorded.
        std::int64_t lateBy = 0;
        // The signal of the recorded stop the lane has acted on, 0 for none yet.
        int stopActedOn = 0;
    };

    SessionReplay(Recording recording, const ReplayOptions &options);

    void answer(platform::DeviceCall &call) override;
    // The place of the recorded exchange that answers `asked`, or nothing
    // once diverged. `consumed`: it is the lane's next, and taken.
    std::optional<std::size_t> recordedFor(const Exchange &asked, Lane &lane, bool &consumed);
    std::optional<std::size_t> answerListing(const Exchange &asked, Lane &lane, bool &consumed);
    // A recorded result, its read data copied into the read's buffer.
    std::optional<std::uint32_t> fetched(const Exchange &recorded, HandleId slot);
    void diverge(const Exchange *recorded, const Exchange &asked, std::size_t at, unsigned lane);
    // The recording's place and time of the lane's next exchange.
    const Exchange *nextOf(const Lane &lane) const;
    std::size_t placeOfNext(const Lane &lane) const;

    Recording recording_;
    platform::VirtualClock ownClock_;
    platform::Clock *clock_;
    // Lets the recorded time go by on that clock, keeping to it on a real one.
    platform::DeviceTime time_;
    bool polledListings_;
    // Each exchange's time since the recording began, and when the replay began.
    std::vector<std::int64_t> recordedAt_;
    std::int64_t startMicroseconds_;
    mutable std::mutex mutex_;  // over what follows; never held while time passes
    std::map<unsigned, Lane> lanes_;
    std::map<platform::DeviceClass, const Exchange *> latestListing_;
    std::map<HandleId, Read> reads_;  // by slot
    std::optional<std::string> divergence_;
    bool stopGiven_ = false;  // a recorded stop was noted as the user's request
    std::function<void(const std::string &)> observer_;
};

}  // namespace recording
