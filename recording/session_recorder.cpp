#include "recording/session_recorder.h"

#include <cerrno>

#include "platform/files.h"
#include "platform/stop_signals.h"

#include <algorithm>

#include "platform/virtual/device_time.h"
#include "recording/recording_format.h"

namespace recording {

namespace {

// The time between two exchanges as the file keeps it. A process stopped
// for longer than the bound (a shell's Ctrl-Z) would otherwise write a
// recording that no reader takes; every deadline of the program is far
// shorter, so the replay decides the same.
std::int64_t elapsedBetween(std::int64_t before, std::int64_t now)
{
    return std::clamp<std::int64_t>(now - before, 0, maximumElapsedMicroseconds);
}

}  // namespace

SessionRecorder::SessionRecorder(std::shared_ptr<platform::UsbBackend> backend, platform::Clock &clock,
                                 std::unique_ptr<std::ostream> out, const RecordSettings &settings)
    : backend_(std::move(backend)),
      clock_(clock),
      out_(std::move(out)),
      anonymise_(settings.anonymise),
      anonymiser_(settings.serialBoundaries),
      lastMicroseconds_(platform::microsecondsNow(clock))
{
    if (backend_)
        nameCallsAs(&backend_->io());
    RecordingHeader header;
    header.anonymised = anonymise_;
    header.backend = settings.backend;
    std::map<std::string, std::string> pathWords;
    if (anonymise_) {
        for (const std::string &serial : settings.commandSerials)
            anonymiser_.serial(serial);
        for (const auto &[word, path] : settings.commandDevicePaths)
            pathWords[word] = anonymiser_.devicePath(path);
    }
    for (const std::string &word : settings.command) {
        const auto path = pathWords.find(word);
        header.command.push_back(!anonymise_ ? word : path != pathWords.end() ? path->second
                                                                               : anonymiser_.commandWord(word));
    }
    writeLine(headerLine(header));
}

SessionRecorder::~SessionRecorder() { finish(); }

std::size_t SessionRecorder::exchanges() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return exchanges_;
}

std::unique_ptr<platform::DeviceWatch> SessionRecorder::watchDevices(std::function<void()> changed)
{
    return backend_->enumeration().watchDevices(std::move(changed));
}

int SessionRecorder::stopHere(int requested)
{
    if (requested == 0)
        return 0;
    const unsigned lane = platform::callLane();
    const std::lock_guard<std::mutex> guard(mutex_);
    if (stoppedLanes_.insert(lane).second) {
        Exchange exchange;
        exchange.operation = Operation::stop;
        exchange.lane = lane;
        exchange.stopSignal = requested;
        note(std::move(exchange));
    }
    return requested;
}

bool SessionRecorder::finish()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!finished_) {
        const std::int64_t now = platform::microsecondsNow(clock_);
        writeLine(endLine(exchanges_, elapsedBetween(lastMicroseconds_, now), platform::stopRequest()));
        finished_ = true;
        if (complete_) {
            const std::string reason = complete_();
            if (failureReason_.empty())
                failureReason_ = reason;
        }
    }
    return failureReason_.empty();
}

void SessionRecorder::keepWhenDone(std::string unfinishedPath, std::function<std::string()> complete)
{
    unfinishedPath_ = std::move(unfinishedPath);
    complete_ = std::move(complete);
}

void SessionRecorder::writeLine(const std::string &line)
{
    if (!failureReason_.empty())
        return;
    errno = 0;
    *out_ << line << '\n';
    out_->flush();
    if (!*out_)
        failureReason_ = platform::reasonOf(errno != 0 ? errno : EIO);
}

HandleId SessionRecorder::issue(platform::Handle handle)
{
    // A system may hand out a closed handle's value again: the new handle
    // gets a number of its own.
    const HandleId id = nextId_++;
    ids_[handle] = id;
    return id;
}

HandleId SessionRecorder::idOf(platform::Handle handle) const
{
    const auto found = ids_.find(handle);
    return found == ids_.end() ? 0 : found->second;
}

void SessionRecorder::note(Exchange exchange)
{
    if (finished_)
        return;
    const std::int64_t now = platform::microsecondsNow(clock_);
    exchange.elapsedMicroseconds = elapsedBetween(lastMicroseconds_, now);
    lastMicroseconds_ = now;
    writeLine(exchangeLine(exchange, ++exchanges_));
}

void SessionRecorder::answer(platform::DeviceCall &call)
{
    // Taken before the backend sees the call: a write's bytes are the
    // program's only until its request ends.
    Exchange exchange;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        exchange = askedIn(call, [this](platform::Handle handle) { return idOf(handle); });
    }
    exchange.lane = platform::callLane();
    platform::perform(call, *backend_);
    const std::lock_guard<std::mutex> guard(mutex_);
    switch (call.operation) {
    case Operation::list:
        for (const platform::DeviceEntry &entry : call.entries)
            exchange.entries.push_back(anonymise_ ? anonymiser_.entry(entry) : entry);
        break;
    case Operation::open:
        if (anonymise_)
            exchange.devicePath = anonymiser_.devicePath(call.devicePath);
        exchange.outcome = call.outcome;
        if (call.outcome == platform::OpenOutcome::opened)
            exchange.handle = issue(call.handle);
        break;
    case Operation::slot:
        if (call.handle != platform::invalidHandle)
            exchange.handle = issue(call.handle);
        break;
    case Operation::close:
        ids_.erase(call.handle);
        reads_.erase(call.handle);
        break;
    case Operation::read:
        reads_[call.slot] = Read{call.readBuffer, call.size};
        break;
    case Operation::write:
        reads_.erase(call.slot);
        break;
    case Operation::result:
        exchange.bytes = call.bytes;
        if (const auto read = reads_.find(call.slot); call.bytes && read != reads_.end() && read->second.buffer)
            exchange.data.assign(read->second.buffer, read->second.buffer + std::min(*call.bytes, read->second.count));
        break;
    case Operation::wait:
        // Where a stop came, so that a replay stops there too.
        if (call.waited == platform::WaitOutcome::stopped)
            exchange.stopSignal = platform::stopRequest();
        break;
    default:
        break;
    }
    exchange.ok = call.operation == Operation::wait ? call.waited == platform::WaitOutcome::completed : call.ok;
    note(std::move(exchange));
}

}  // namespace recording
