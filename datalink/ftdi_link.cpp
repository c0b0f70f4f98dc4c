#include "datalink/ftdi_link.h"

#include <algorithm>
#include <cstring>

#include "datalink/hexception.h"
#include "platform/stop_signals.h"
#include "loader/timing.h"

namespace {

enum : int { resetRequest = 0, latencyTimerRequest = 9, bitModeRequest = 11 };
enum : int { purgeReceiveValue = 1, purgeTransmitValue = 2 };

constexpr int vendorRequestTries = 10;
constexpr std::uint32_t vendorRequestPause = 10;
constexpr std::int32_t rawReadSize = 4096;
constexpr std::size_t statusBytes = 2;

int requestIndexFor(int selector)
{
    switch (selector) {
    case 1: return 2;
    case 2: return 3;
    case 3: return 4;
    default: return 1;
    }
}

}  // namespace

Ftd2xxDataLink::Ftd2xxDataLink(int interfaceSelector) : requestIndex_(requestIndexFor(interfaceSelector))
{
}

std::int32_t Ftd2xxDataLink::read(std::uint8_t *buffer, std::int32_t count)
{
    const std::uint32_t start = tickCount();
    std::int32_t wanted = std::max<std::int32_t>(count, 0);
    std::uint8_t *out = buffer;
    for (bool rawReadDone = false;; rawReadDone = true) {
        // (A read of nothing copies nothing: its buffer may be null.)
        if (bufferedCount_ > 0 && wanted > 0) {
            const std::int32_t n = std::min(bufferedCount_, wanted);
            std::memcpy(out, readPosition_, static_cast<std::size_t>(n));
            out += n;
            readPosition_ += n;
            bufferedCount_ -= n;
            wanted -= n;
        }
        if (wanted == 0)
            return count;
        // The time-out counts from the start of the call and is tested after
        // every raw read, also one that brought payload: a chip that trickles
        // a byte now and then ends the read in time with what it has. Each
        // raw read waits only what is left of it (at least a millisecond, in
        // which an idle chip still sends its status).
        const std::uint32_t timeout = requestTimeout(firstTimeout());
        const std::uint32_t elapsed = tickCount() - start;
        // A stop the user asks for ends the read as its time-out would.
        if (rawReadDone && (elapsed > timeout || platform::stopToActOn() != 0))
            return count - wanted;

        std::uint8_t raw[rawReadSize];
        rawReadLimit_ = rawReadDone ? std::max<std::uint32_t>(timeout - elapsed, 1) : timeout;
        const std::int32_t got = readRaw(raw, rawReadSize);
        rawReadLimit_.reset();
        if (got < 0)
            return got;
        // The chip sends packets of packetSize_ bytes, each led by two status
        // bytes; only what follows them is data.
        const auto rawSize = static_cast<std::size_t>(std::min(got, rawReadSize));
        std::size_t payload = 0;
        for (std::size_t packet = 0; packet < rawSize; packet += static_cast<std::size_t>(packetSize_)) {
            const std::size_t end = std::min(packet + static_cast<std::size_t>(packetSize_), rawSize);
            if (end - packet <= statusBytes)
                continue;
            std::memcpy(input_ + payload, raw + packet + statusBytes, end - packet - statusBytes);
            payload += end - packet - statusBytes;
        }
        bufferedCount_ = static_cast<std::int32_t>(payload);
        readPosition_ = input_;
    }
}

std::uint32_t Ftd2xxDataLink::rawReadTimeout() const
{
    return rawReadLimit_.value_or(requestTimeout(firstTimeout()));
}

void Ftd2xxDataLink::purge()
{
    if (!vendorRequest(resetRequest, purgeReceiveValue, requestIndex_))
        throw HException(ErrorKind::linkFailed, "cannot purge RX");
    if (!vendorRequest(resetRequest, purgeTransmitValue, requestIndex_))
        throw HException(ErrorKind::linkFailed, "cannot purge TX");
    bufferedCount_ = 0;
    readPosition_ = input_;
}

void Ftd2xxDataLink::setBitMode(int mask, int mode)
{
    const int value = (mode & 0xFF) << 8 | (mask & 0xFF);
    if (!vendorRequest(bitModeRequest, value, requestIndex_))
        throw HException(ErrorKind::openFailed, "cannot set bit mode");
}

void Ftd2xxDataLink::setLatencyTimer(int milliseconds)
{
    if (!vendorRequest(latencyTimerRequest, milliseconds, requestIndex_))
        throw HException(ErrorKind::openFailed, "Cannot set latency timer");
}

UsbdFtd2xxDataLink::UsbdFtd2xxDataLink(const UsbDeviceInfo &device, int interfaceSelector)
    : Ftd2xxDataLink(interfaceSelector)
{
    // Should a step below throw, pipes_ is released with the base as the
    // exception leaves.
    pipes_ = openPipeSet(device);
    if (!pipes_->io.resetPipe(pipes_->inPipe))
        throw HException(ErrorKind::openFailed, "Cannot set reset on pipe");
    setLatencyTimer(1);
    purge();
}

UsbdFtd2xxDataLink::~UsbdFtd2xxDataLink() = default;

bool UsbdFtd2xxDataLink::vendorRequest(int request, int value, int index)
{
    for (int attempt = 0; attempt < vendorRequestTries; ++attempt) {
        if (pipes_->io.vendorRequest(pipes_->inPipe, static_cast<std::uint32_t>(request),
                                     static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(index)))
            return true;
        platform::clock().sleep(vendorRequestPause);
    }
    return false;
}

std::int32_t UsbdFtd2xxDataLink::readRaw(std::uint8_t *buffer, std::int32_t count)
{
    if (count < 0)
        return -1;
    const RequestResult result =
        readRequest(*pipes_, buffer, static_cast<std::uint32_t>(count), rawReadTimeout());
    return std::min(packetResult(result), count);
}

std::int32_t UsbdFtd2xxDataLink::write(const std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    const TransferFailure failure =
        writeAll(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()));
    return failure == TransferFailure::none ? count : -1;
}
