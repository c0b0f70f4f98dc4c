#include "datalink/usb_vantrel_link.h"

#include <algorithm>

#include "datalink/hexception.h"

namespace {

constexpr std::int32_t constructionTimeout = 10000;

}  // namespace

UsbVantrelWinDataLink::UsbVantrelWinDataLink(const UsbDeviceInfo &device)
{
    setTimeout(constructionTimeout);
    pipes_ = openPipeSet(device);
    purge();
}

UsbVantrelWinDataLink::~UsbVantrelWinDataLink() = default;

void UsbVantrelWinDataLink::purge()
{
    // Only input can be waiting: a write has been taken by the driver, or
    // cancelled, before write() returns, so nothing is queued for sending.
    discardWaitingInput(*pipes_);
}

std::int32_t UsbVantrelWinDataLink::read(std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    switch (readAll(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))) {
    case TransferFailure::notPending:
        throw HException(ErrorKind::linkFailed, std::string("read operation failed (") + pipes_->io.startCallName() + ")");
    case TransferFailure::timedOut:
        throw HException(ErrorKind::noReply, "read operation timed out");
    case TransferFailure::notFetchable:
        throw HException(ErrorKind::linkFailed,
                         std::string("read operation failed (") + pipes_->io.resultCallName() + ")");
    case TransferFailure::stopped:
        throw HException(ErrorKind::interrupted, "read operation stopped");
    case TransferFailure::none:
        break;
    }
    return count;
}

std::int32_t UsbVantrelWinDataLink::write(const std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    switch (writeAll(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))) {
    case TransferFailure::timedOut:
        throw HException(ErrorKind::linkFailed, "write operation timed out");
    case TransferFailure::stopped:
        throw HException(ErrorKind::interrupted, "write operation stopped");
    case TransferFailure::notPending:
    case TransferFailure::notFetchable:
        throw HException(ErrorKind::linkFailed, "write operation failed");
    case TransferFailure::none:
        break;
    }
    return count;
}

std::int32_t UsbVantrelWinDataLink::readPacket(std::uint8_t *buffer, std::int32_t count)
{
    if (count < 0)
        return -1;
    return std::min(packetResult(readRequest(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))), count);
}

std::int32_t UsbVantrelWinDataLink::writePacket(const std::uint8_t *buffer, std::int32_t count)
{
    if (count < 0)
        return -1;
    return std::min(packetResult(writeRequest(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))), count);
}
