#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "discovery/usb_device_info.h"
#include "platform/platform.h"

// A device's two pipes (data from the adapter, and to it) and one request
// slot for each direction, on the backend that listed the device. Releasing
// it closes exactly what was opened, in order, through that backend.
struct PipeSet {
    std::shared_ptr<platform::UsbBackend> backend;
    platform::DeviceIo &io;
    platform::Handle inPipe = platform::invalidHandle;
    platform::Handle outPipe = platform::invalidHandle;
    platform::Handle readSlot = platform::invalidHandle;
    platform::Handle writeSlot = platform::invalidHandle;

    explicit PipeSet(std::shared_ptr<platform::UsbBackend> owner)
        : backend(std::move(owner)), io(backend->io())
    {
    }
    PipeSet(const PipeSet &) = delete;
    PipeSet &operator=(const PipeSet &) = delete;
    ~PipeSet();
};

// Opens both pipes and both request slots of the device, or throws
// HException ("device already in use", "cannot open device driver", "cannot
// create in overlapped event", "cannot create out overlapped event") with
// nothing left open.
std::unique_ptr<PipeSet> openPipeSet(const UsbDeviceInfo &device);

// Requests never move more than this at once.
inline constexpr std::uint32_t maxRequestBytes = 65536;

// How one request on a pipe ended. A request that did not complete in time
// has been cancelled, and its end collected, before this is returned.
struct RequestResult {
    bool wentPending = false;
    bool completedInTime = false;
    bool stopped = false;  // the user's stop ended the wait
    std::optional<std::uint32_t> bytes;  // nothing when the result was not fetchable
};

RequestResult readRequest(const PipeSet &pipes, std::uint8_t *buffer, std::uint32_t count,
                          std::uint32_t timeoutMilliseconds);
RequestResult writeRequest(const PipeSet &pipes, const std::uint8_t *buffer, std::uint32_t count,
                           std::uint32_t timeoutMilliseconds);

// How a transfer of many requests ended.
enum class TransferFailure { none, notPending, timedOut, notFetchable, stopped };

// Moves all `count` bytes in requests of at most maxRequestBytes, asking for
// the rest after a short completion, and stops at the first request that
// fails. The time-out bounds the whole transfer from the start of the call:
// each request waits only what is left of it, and once nothing is left the
// transfer has timed out, however the device dribbles its bytes.
TransferFailure readAll(const PipeSet &pipes, std::uint8_t *buffer, std::uint32_t count,
                        std::uint32_t timeoutMilliseconds);
TransferFailure writeAll(const PipeSet &pipes, const std::uint8_t *buffer, std::uint32_t count,
                         std::uint32_t timeoutMilliseconds);

// A link's time-out as a request's wait; a negative one waits not at all.
inline std::uint32_t requestTimeout(std::int32_t milliseconds)
{
    return milliseconds > 0 ? static_cast<std::uint32_t>(milliseconds) : 0;
}

// The result of a single request as a byte count, or -1 when it did not go
// pending or its result could not be fetched.
inline std::int32_t packetResult(const RequestResult &result)
{
    if (!result.wentPending || !result.bytes)
        return -1;
    return static_cast<std::int32_t>(*result.bytes);
}

// Reading what a device has already sent, to throw it away: each request
// waits this long for bytes that are on their way, and a burst that keeps
// coming is cut off after so many requests, so a purge never blocks for long.
inline constexpr std::uint32_t discardWaitMilliseconds = 10;
inline constexpr int discardMaxRounds = 16;
inline constexpr std::uint32_t discardChunkBytes = 4096;

// Reads and drops the input that is waiting on the IN pipe, until a request
// brings nothing in its short wait or the rounds run out; the bytes dropped.
// Never fails: a request that does not go pending, or a stop, ends it.
std::uint32_t discardWaitingInput(const PipeSet &pipes);
