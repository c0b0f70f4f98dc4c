#include "recording/session_recorder.h"

#include <algorithm>

#include "loader/crc32.h"
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

bool SessionRecorder::finish()
{
    if (!finished_) {
        const std::int64_t now = platform::microsecondsNow(clock_);
        writeLine(endLine(exchanges_, elapsedBetween(lastMicroseconds_, now)));
        finished_ = true;
    }
    return static_cast<bool>(*out_);
}

void SessionRecorder::writeLine(const std::string &line)
{
    *out_ << line << '\n';
    out_->flush();
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

Exchange SessionRecorder::asked(Operation operation, platform::Handle pipe, platform::Handle slot) const
{
    Exchange exchange;
    exchange.operation = operation;
    exchange.pipe = idOf(pipe);
    exchange.slot = idOf(slot);
    return exchange;
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

std::vector<platform::DeviceEntry> SessionRecorder::listDevices(platform::DeviceClass deviceClass)
{
    std::vector<platform::DeviceEntry> entries = backend_->enumeration().listDevices(deviceClass);
    Exchange exchange = asked(Operation::list);
    exchange.deviceClass = deviceClass;
    for (const platform::DeviceEntry &entry : entries)
        exchange.entries.push_back(anonymise_ ? anonymiser_.entry(entry) : entry);
    note(std::move(exchange));
    return entries;
}

platform::OpenOutcome SessionRecorder::openPipe(const std::string &devicePath, platform::Pipe pipe,
                                                platform::Handle &handle)
{
    const platform::OpenOutcome outcome = backend_->io().openPipe(devicePath, pipe, handle);
    Exchange exchange = asked(Operation::open);
    exchange.devicePath = anonymise_ ? anonymiser_.devicePath(devicePath) : devicePath;
    exchange.pipeEnd = pipe;
    exchange.outcome = outcome;
    if (outcome == platform::OpenOutcome::opened)
        exchange.handle = issue(handle);
    note(std::move(exchange));
    return outcome;
}

platform::Handle SessionRecorder::createRequestSlot()
{
    const platform::Handle slot = backend_->io().createRequestSlot();
    Exchange exchange = asked(Operation::slot);
    if (slot != platform::invalidHandle)
        exchange.handle = issue(slot);
    note(std::move(exchange));
    return slot;
}

void SessionRecorder::close(platform::Handle handle)
{
    backend_->io().close(handle);
    Exchange exchange = asked(Operation::close);
    exchange.handle = idOf(handle);
    ids_.erase(handle);
    reads_.erase(handle);
    note(std::move(exchange));
}

bool SessionRecorder::startRead(platform::Handle pipe, platform::Handle slot, std::uint8_t *buffer,
                                std::uint32_t count)
{
    const bool pending = backend_->io().startRead(pipe, slot, buffer, count);
    reads_[slot] = Read{buffer, count};
    Exchange exchange = asked(Operation::read, pipe, slot);
    exchange.size = count;
    exchange.ok = pending;
    note(std::move(exchange));
    return pending;
}

bool SessionRecorder::startWrite(platform::Handle pipe, platform::Handle slot, const std::uint8_t *buffer,
                                 std::uint32_t count)
{
    // Taken before the backend sees the bytes: the program's buffer is the
    // program's until the request ends.
    const std::uint32_t crc = crc32(buffer, count);
    const bool pending = backend_->io().startWrite(pipe, slot, buffer, count);
    reads_.erase(slot);
    Exchange exchange = asked(Operation::write, pipe, slot);
    exchange.size = count;
    exchange.crc = crc;
    exchange.ok = pending;
    note(std::move(exchange));
    return pending;
}

bool SessionRecorder::waitRequest(platform::Handle slot, std::uint32_t timeoutMilliseconds)
{
    const bool completed = backend_->io().waitRequest(slot, timeoutMilliseconds);
    Exchange exchange = asked(Operation::wait, platform::invalidHandle, slot);
    exchange.timeoutMilliseconds = timeoutMilliseconds;
    exchange.ok = completed;
    note(std::move(exchange));
    return completed;
}

std::optional<std::uint32_t> SessionRecorder::requestResult(platform::Handle pipe, platform::Handle slot)
{
    const std::optional<std::uint32_t> bytes = backend_->io().requestResult(pipe, slot);
    Exchange exchange = asked(Operation::result, pipe, slot);
    exchange.bytes = bytes;
    if (const auto read = reads_.find(slot); bytes && read != reads_.end() && read->second.buffer)
        exchange.data.assign(read->second.buffer, read->second.buffer + std::min(*bytes, read->second.count));
    note(std::move(exchange));
    return bytes;
}

void SessionRecorder::cancelRequest(platform::Handle pipe, platform::Handle slot)
{
    backend_->io().cancelRequest(pipe, slot);
    note(asked(Operation::cancel, pipe, slot));
}

bool SessionRecorder::resetPipe(platform::Handle pipe)
{
    const bool done = backend_->io().resetPipe(pipe);
    Exchange exchange = asked(Operation::reset, pipe);
    exchange.ok = done;
    note(std::move(exchange));
    return done;
}

bool SessionRecorder::vendorRequest(platform::Handle pipe, std::uint32_t request, std::uint32_t value,
                                    std::uint32_t index)
{
    const bool done = backend_->io().vendorRequest(pipe, request, value, index);
    Exchange exchange = asked(Operation::vendor, pipe);
    exchange.request = request;
    exchange.value = value;
    exchange.index = index;
    exchange.ok = done;
    note(std::move(exchange));
    return done;
}

}  // namespace recording
