#include "datalink/pipe_set.h"

#include <algorithm>

#include "datalink/hexception.h"
#include "loader/timing.h"

namespace {

// The pipe driver names a pipe by the device path, a backslash and
// "PIPE00" or "PIPE01", in room for 256 characters with the terminating zero.
constexpr std::size_t pipeNameCapacity = 256;
constexpr std::size_t pipeNameSuffix = sizeof "\\PIPE00" - 1;

HException openFailure(platform::OpenOutcome outcome)
{
    switch (outcome) {
    case platform::OpenOutcome::busy:
        return HException(ErrorKind::deviceBusy, "device already in use");
    case platform::OpenOutcome::accessDenied:
        return HException(ErrorKind::noPermission, "cannot open device driver (no permission: install the udev rules)");
    default:
        return HException(ErrorKind::openFailed, "cannot open device driver");
    }
}

void openPipe(PipeSet &pipes, const std::string &devicePath, platform::Pipe pipe, platform::Handle &handle)
{
    const platform::OpenOutcome outcome = pipes.io.openPipe(devicePath, pipe, handle);
    if (outcome != platform::OpenOutcome::opened) {
        handle = platform::invalidHandle;
        throw openFailure(outcome);
    }
}

}  // namespace

PipeSet::~PipeSet()
{
    for (const platform::Handle handle : {inPipe, outPipe, readSlot, writeSlot})
        if (handle != platform::invalidHandle)
            io.close(handle);
}

std::unique_ptr<PipeSet> openPipeSet(const UsbDeviceInfo &device)
{
    // A path whose pipe names would not fit is refused rather than cut
    // short: a truncated name could open some other device's pipe.
    if (device.devicePath.size() + pipeNameSuffix + 1 > pipeNameCapacity)
        throw openFailure(platform::OpenOutcome::failed);
    // Should anything below throw, the PipeSet's destructor closes what was
    // opened so far.
    auto pipes = std::make_unique<PipeSet>(device.backend ? device.backend : platform::usbBackend());
    openPipe(*pipes, device.devicePath, platform::Pipe::in, pipes->inPipe);
    openPipe(*pipes, device.devicePath, platform::Pipe::out, pipes->outPipe);
    pipes->readSlot = pipes->io.createRequestSlot();
    if (pipes->readSlot == platform::invalidHandle)
        throw HException(ErrorKind::openFailed, "cannot create in overlapped event");
    pipes->writeSlot = pipes->io.createRequestSlot();
    if (pipes->writeSlot == platform::invalidHandle)
        throw HException(ErrorKind::openFailed, "cannot create out overlapped event");
    return pipes;
}

namespace {

template <typename Start>
RequestResult runRequest(platform::DeviceIo &io, platform::Handle pipe, platform::Handle slot,
                         std::uint32_t timeout, Start start)
{
    RequestResult result;
    result.wentPending = start(io);
    if (!result.wentPending)
        return result;
    const platform::WaitOutcome waited = io.waitRequest(slot, timeout);
    result.completedInTime = waited == platform::WaitOutcome::completed;
    result.stopped = waited == platform::WaitOutcome::stopped;
    if (!result.completedInTime) {
        // Never leave a request behind that could still complete into the
        // caller's buffer after we have returned.
        io.cancelRequest(pipe, slot);
    }
    result.bytes = io.requestResult(pipe, slot);
    return result;
}

}  // namespace

RequestResult readRequest(const PipeSet &pipes, std::uint8_t *buffer, std::uint32_t count,
                          std::uint32_t timeoutMilliseconds)
{
    return runRequest(pipes.io, pipes.inPipe, pipes.readSlot, timeoutMilliseconds, [&](platform::DeviceIo &io) {
        return io.startRead(pipes.inPipe, pipes.readSlot, buffer, count);
    });
}

RequestResult writeRequest(const PipeSet &pipes, const std::uint8_t *buffer, std::uint32_t count,
                           std::uint32_t timeoutMilliseconds)
{
    return runRequest(pipes.io, pipes.outPipe, pipes.writeSlot, timeoutMilliseconds, [&](platform::DeviceIo &io) {
        return io.startWrite(pipes.outPipe, pipes.writeSlot, buffer, count);
    });
}

namespace {

// What is left of a transfer's time-out, which counts from the start of the
// call: each request may wait only that, so a device that trickles a byte
// now and then cannot stretch the transfer beyond the time-out.
class TransferDeadline {
public:
    explicit TransferDeadline(std::uint32_t timeout) : timeout_(timeout), start_(tickCount()) {}
    std::uint32_t left() const
    {
        const std::uint32_t elapsed = tickCount() - start_;
        return elapsed < timeout_ ? timeout_ - elapsed : 0;
    }

private:
    std::uint32_t timeout_;
    std::uint32_t start_;
};

template <typename Byte, typename Request>
TransferFailure transferAll(Byte *buffer, std::uint32_t count, std::uint32_t timeout, Request request)
{
    const TransferDeadline deadline(timeout);
    std::uint32_t done = 0;
    for (bool first = true; done < count; first = false) {
        const std::uint32_t left = deadline.left();
        // The first request goes out even with no time to wait (a time-out
        // of 0 takes what is there at once); later ones only while time is left.
        if (!first && left == 0)
            return TransferFailure::timedOut;
        const std::uint32_t chunk = std::min(count - done, maxRequestBytes);
        const RequestResult result = request(buffer + done, chunk, left);
        if (!result.wentPending)
            return TransferFailure::notPending;
        if (result.stopped)
            return TransferFailure::stopped;
        if (!result.completedInTime)
            return TransferFailure::timedOut;
        if (!result.bytes)
            return TransferFailure::notFetchable;
        // A driver claiming more than was asked is held to what was asked.
        done += std::min(*result.bytes, chunk);
    }
    return TransferFailure::none;
}

}  // namespace

TransferFailure readAll(const PipeSet &pipes, std::uint8_t *buffer, std::uint32_t count,
                        std::uint32_t timeoutMilliseconds)
{
    return transferAll(buffer, count, timeoutMilliseconds, [&](std::uint8_t *at, std::uint32_t chunk, std::uint32_t wait) {
        return readRequest(pipes, at, chunk, wait);
    });
}

TransferFailure writeAll(const PipeSet &pipes, const std::uint8_t *buffer, std::uint32_t count,
                         std::uint32_t timeoutMilliseconds)
{
    return transferAll(buffer, count, timeoutMilliseconds,
                       [&](const std::uint8_t *at, std::uint32_t chunk, std::uint32_t wait) {
                           return writeRequest(pipes, at, chunk, wait);
                       });
}

std::uint32_t discardWaitingInput(const PipeSet &pipes)
{
    std::uint8_t scratch[discardChunkBytes];
    std::uint32_t discarded = 0;
    for (int round = 0; round < discardMaxRounds; ++round) {
        const RequestResult result = readRequest(pipes, scratch, sizeof scratch, discardWaitMilliseconds);
        if (!result.completedInTime || !result.bytes || *result.bytes == 0)
            break;
        discarded += std::min<std::uint32_t>(*result.bytes, sizeof scratch);
    }
    return discarded;
}
