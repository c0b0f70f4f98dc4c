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
      startMicroseconds_(platform::microsecondsNow(*clock_))
{
    std::int64_t at = 0;
    for (std::size_t i = 0; i < recording_.exchanges.size(); ++i) {
        const Exchange &exchange = recording_.exchanges[i];
        at = platform::saturatingSum(at, exchange.elapsedMicroseconds);
        recordedAt_.push_back(at);
        lanes_[exchange.lane].exchanges.push_back(i);
    }
}

platform::Services SessionReplay::services() { return {clock_, shared_from_this()}; }

std::optional<std::string> SessionReplay::divergence() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return divergence_;
}

const Exchange *SessionReplay::nextOf(const Lane &lane) const
{
    return lane.next < lane.exchanges.size() ? &recording_.exchanges[lane.exchanges[lane.next]] : nullptr;
}

std::size_t SessionReplay::placeOfNext(const Lane &lane) const
{
    return lane.next < lane.exchanges.size() ? lane.exchanges[lane.next] : recording_.exchanges.size();
}

std::optional<std::string> SessionReplay::verdict() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (divergence_)
        return divergence_;
    // The first recorded exchange never asked for, whichever lane it is in.
    std::optional<std::size_t> first;
    for (const auto &[number, lane] : lanes_) {
        for (std::size_t i = lane.next; i < lane.exchanges.size(); ++i) {
            const std::size_t at = lane.exchanges[i];
            if (polledListings_ && recording_.exchanges[at].operation == Operation::list)
                continue;
            if (!first || at < *first)
                first = at;
            break;
        }
    }
    if (!first)
        return std::nullopt;
    return "replay diverged at exchange " + number(*first + 1) + ": recorded " +
           describe(recording_.exchanges[*first], false) + ", asked for nothing more";
}

bool SessionReplay::usedUp(unsigned lane) const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (divergence_)
        return true;
    const auto found = lanes_.find(lane);
    return found == lanes_.end() || found->second.next >= found->second.exchanges.size();
}

void SessionReplay::diverge(const Exchange *recorded, const Exchange &asked, std::size_t at, unsigned lane)
{
    const bool detailed = recorded && describe(*recorded, false) == describe(asked, false);
    // A lane of its own is the work on one of several adapters at once.
    const std::string where = lane == 0 ? "" : " (in the work on adapter " + number(lane) + ")";
    divergence_ = "replay diverged at exchange " + number(at + 1) + where + ": recorded " +
                  (recorded ? describe(*recorded, detailed) : std::string("nothing more")) + ", asked for " +
                  describe(asked, detailed);
    if (observer_)
        observer_(*divergence_);
}

int SessionReplay::stopHere(int requested)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    // Older recordings keep no such places: the stop a wait gave counts
    // everywhere from then on, as it did when they were made.
    if (divergence_ || recording_.header.version < firstVersionWithStopPlaces)
        return requested;
    Lane &lane = lanes_[platform::callLane()];
    if (lane.stopActedOn == 0) {
        const Exchange *next = nextOf(lane);
        if (!next || next->operation != Operation::stop)
            // A request that no recorded stop made is the user's, now.
            return stopGiven_ ? 0 : requested;
        ++lane.next;
        lane.stopActedOn = next->stopSignal;
        stopGiven_ = true;
        platform::noteStopRequest(next->stopSignal);
    }
    return lane.stopActedOn;
}

std::optional<std::size_t> SessionReplay::recordedFor(const Exchange &asked, Lane &lane, bool &consumed)
{
    consumed = false;
    if (divergence_)
        return std::nullopt;
    if (asked.operation == Operation::list)
        return answerListing(asked, lane, consumed);
    if (polledListings_) {
        for (const Exchange *next; (next = nextOf(lane)) && next->operation == Operation::list; ++lane.next)
            latestListing_[next->deviceClass] = next;
    }
    const Exchange *recorded = nextOf(lane);
    const std::size_t at = placeOfNext(lane);
    if (!recorded || !sameRequest(*recorded, asked)) {
        diverge(recorded, asked, at, asked.lane);
        return std::nullopt;
    }
    ++lane.next;
    consumed = true;
    return at;
}

std::optional<std::size_t> SessionReplay::answerListing(const Exchange &asked, Lane &lane, bool &consumed)
{
    const Exchange *recorded = nextOf(lane);
    const std::size_t at = placeOfNext(lane);
    if (recorded && sameRequest(*recorded, asked)) {
        ++lane.next;
        consumed = true;
        latestListing_[asked.deviceClass] = recorded;
        return at;
    }
    if (polledListings_)
        if (const auto latest = latestListing_.find(asked.deviceClass); latest != latestListing_.end())
            return static_cast<std::size_t>(latest->second - recording_.exchanges.data());
    diverge(recorded, asked, at, asked.lane);
    return std::nullopt;
}

void SessionReplay::answer(platform::DeviceCall &call)
{
    Exchange asked = askedIn(call, idOf);
    asked.lane = platform::callLane();
    std::unique_lock<std::mutex> lock(mutex_);
    if (call.operation == Operation::close)
        reads_.erase(asked.handle);
    else if (call.operation == Operation::write)
        reads_.erase(asked.slot);
    // Past a divergence every call fails at once: nothing listed, no open,
    // no slot, nothing pending, completed, done or fetched.
    Lane &lane = lanes_[asked.lane];
    bool consumed = false;
    const std::optional<std::size_t> at = recordedFor(asked, lane, consumed);
    if (!at)
        return;
    const Exchange &recorded = recording_.exchanges[*at];
    if (consumed) {
        // The recorded time covers what the program did between two calls
        // as well as what the device took; the program's own sleeps pass
        // again on their own, so only what is missing passes here. It
        // passes with the lock given up: other lanes go on meanwhile.
        const std::int64_t recordedTime = platform::saturatingSum(startMicroseconds_, recordedAt_[*at]);
        const std::int64_t due = platform::saturatingSum(recordedTime, lane.lateBy);
        lock.unlock();
        const std::int64_t now = platform::microsecondsNow(*clock_);
        if (now < due)
            time_.pass(due - now);
        lock.lock();
        lane.lateBy = std::max(lane.lateBy, std::max(now, due) - recordedTime);
    }
    call.ok = recorded.ok;
    switch (call.operation) {
    case Operation::list:
        call.entries = recorded.entries;
        break;
    case Operation::open:
        call.outcome = recorded.outcome;
        if (recorded.outcome == platform::OpenOutcome::opened)
            call.handle = recorded.handle;
        break;
    case Operation::slot:
        call.handle = recorded.handle != 0 ? platform::Handle{recorded.handle} : platform::invalidHandle;
        break;
    case Operation::read:
        if (recorded.ok)
            reads_[asked.slot] = Read{call.readBuffer, call.size};
        break;
    case Operation::wait:
        call.waited = recorded.ok ? platform::WaitOutcome::completed : platform::WaitOutcome::timedOut;
        // The stop the user asked for here comes again, where it came.
        if (recorded.stopSignal != 0) {
            stopGiven_ = true;
            platform::noteStopRequest(recorded.stopSignal);
            call.waited = platform::WaitOutcome::stopped;
        }
        break;
    case Operation::result:
        call.bytes = fetched(recorded, asked.slot);
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
