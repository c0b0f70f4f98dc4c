#include "recording/session_replay.h"

#include <algorithm>
#include <cstring>

#include "platform/stop_signals.h"
#include "platform/virtual/device_time.h"
#include "recording/operations.h"

namespace recording {

namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

HandleId idOf(platform::Handle handle)
{
    return handle <= platform::Handle{0xFFFFFFFF} ? static_cast<HandleId>(handle) : 0;
}

}  // namespace

std::shared_ptr<SessionReplay> SessionReplay::create(Recording recording, const ReplayOptions &options)
{
    return std::shared_ptr<SessionReplay>(new SessionReplay(std::move(recording), options));
}

SessionReplay::SessionReplay(Recording recording, const ReplayOptions &options)
    : recording_(std::move(recording)),
      clock_(options.clock ? options.clock : &ownClock_),
      time_(*clock_),
      polledListings_(options.polledListings),
      lastMicroseconds_(platform::microsecondsNow(*clock_))
{
}

platform::Services SessionReplay::services() { return {clock_, shared_from_this()}; }

std::optional<std::string> SessionReplay::verdict() const
{
    if (divergence_)
        return divergence_;
    const auto &exchanges = recording_.exchanges;
    for (std::size_t i = next_; i < exchanges.size(); ++i) {
        if (polledListings_ && exchanges[i].operation == Operation::list)
            continue;
        return "replay diverged at exchange " + number(i + 1) + ": recorded " + describe(exchanges[i], false) +
               ", asked for nothing more";
    }
    return std::nullopt;
}

void SessionReplay::diverge(const Exchange *recorded, const Exchange &asked)
{
    const bool detailed = recorded && describe(*recorded, false) == describe(asked, false);
    divergence_ = "replay diverged at exchange " + number(next_ + 1) + ": recorded " +
                  (recorded ? describe(*recorded, detailed) : std::string("nothing more")) + ", asked for " +
                  describe(asked, detailed);
    if (observer_)
        observer_(*divergence_);
}

void SessionReplay::passRecordedTime(const Exchange &recorded)
{
    // The recorded time covers what the program did between two calls as
    // well as what the device took; the program's own sleeps pass again on
    // their own, so only what is missing passes here.
    const std::int64_t due = platform::saturatingSum(lastMicroseconds_, recorded.elapsedMicroseconds);
    const std::int64_t now = platform::microsecondsNow(*clock_);
    if (now < due)
        time_.pass(due - now);
    lastMicroseconds_ = std::max(now, due);
}

const Exchange *SessionReplay::recordedFor(const Exchange &asked)
{
    if (divergence_)
        return nullptr;
    if (asked.operation == Operation::list)
        return answerListing(asked);
    const auto &exchanges = recording_.exchanges;
    if (polledListings_) {
        for (; next_ < exchanges.size() && exchanges[next_].operation == Operation::list; ++next_)
            latestListing_[exchanges[next_].deviceClass] = &exchanges[next_];
    }
    const Exchange *recorded = next_ < exchanges.size() ? &exchanges[next_] : nullptr;
    if (!recorded || !sameRequest(*recorded, asked)) {
        diverge(recorded, asked);
        return nullptr;
    }
    ++next_;
    passRecordedTime(*recorded);
    return recorded;
}

const Exchange *SessionReplay::answerListing(const Exchange &asked)
{
    const auto &exchanges = recording_.exchanges;
    const Exchange *recorded = next_ < exchanges.size() ? &exchanges[next_] : nullptr;
    if (recorded && sameRequest(*recorded, asked)) {
        ++next_;
        passRecordedTime(*recorded);
        latestListing_[asked.deviceClass] = recorded;
        return recorded;
    }
    if (polledListings_)
        if (const auto latest = latestListing_.find(asked.deviceClass); latest != latestListing_.end())
            return latest->second;
    diverge(recorded, asked);
    return nullptr;
}

void SessionReplay::answer(platform::DeviceCall &call)
{
    const Exchange asked = askedIn(call, idOf);
    if (call.operation == Operation::close)
        reads_.erase(asked.handle);
    else if (call.operation == Operation::write)
        reads_.erase(asked.slot);
    // Past a divergence every call fails at once: nothing listed, no open,
    // no slot, nothing pending, completed, done or fetched.
    const Exchange *recorded = recordedFor(asked);
    if (!recorded)
        return;
    call.ok = recorded->ok;
    switch (call.operation) {
    case Operation::list:
        call.entries = recorded->entries;
        break;
    case Operation::open:
        call.outcome = recorded->outcome;
        if (recorded->outcome == platform::OpenOutcome::opened)
            call.handle = recorded->handle;
        break;
    case Operation::slot:
        call.handle = recorded->handle != 0 ? platform::Handle{recorded->handle} : platform::invalidHandle;
        break;
    case Operation::read:
        if (recorded->ok)
            reads_[asked.slot] = Read{call.readBuffer, call.size};
        break;
    case Operation::wait:
        call.waited = recorded->ok ? platform::WaitOutcome::completed : platform::WaitOutcome::timedOut;
        // The stop the user asked for here comes again, where it came.
        if (recorded->stopSignal != 0) {
            platform::noteStopRequest(recorded->stopSignal);
            call.waited = platform::WaitOutcome::stopped;
        }
        break;
    case Operation::result:
        call.bytes = fetched(*recorded, asked.slot);
        break;
    default:
        // A cancel leaves the buffer the read's: a request that completed
        // as it was cancelled still has its result fetched, data and all.
        break;
    }
}

std::optional<std::uint32_t> SessionReplay::fetched(const Exchange &recorded, HandleId slot)
{
    if (!recorded.bytes)
        return std::nullopt;
    const auto read = reads_.find(slot);
    if (read == reads_.end())
        return recorded.bytes;
    // The program takes the count for bytes in its buffer: it never counts
    // more than were put there, whatever the recording claims.
    const auto copied = static_cast<std::uint32_t>(std::min<std::size_t>(recorded.data.size(), read->second.count));
    if (copied > 0)
        std::memcpy(read->second.buffer, recorded.data.data(), copied);
    return std::min(*recorded.bytes, copied);
}

}  // namespace recording
