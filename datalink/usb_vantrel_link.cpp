#include "datalink/usb_vantrel_link.h"

#include <algorithm>

#include "datalink/hexception.h"
#include "datalink/owed_replies.h"

namespace {

constexpr std::int32_t constructionTimeout = 10000;

}  // namespace

UsbVantrelWinDataLink::UsbVantrelWinDataLink(const UsbDeviceInfo &device)
{
    setTimeout(constructionTimeout);
    pipes_ = openPipeSet(device);
    device_ = owingDevice(device);
    const std::optional<bool> owed = takeOwedReplies(device_);
    owed_ = !owed ? OwedReply::unknown : *owed ? OwedReply::maybe : OwedReply::none;
    purge();
}

UsbVantrelWinDataLink::~UsbVantrelWinDataLink() { noteOwedReplies(device_, owed_ != OwedReply::none); }

void UsbVantrelWinDataLink::purge()
{
    // Only input can be waiting: a write has been taken by the driver, or
    // cancelled, before write() returns, so nothing is queued for sending.
    discardWaitingInput(*pipes_, owed_);
    owed_ = OwedReply::none;
}

std::int32_t UsbVantrelWinDataLink::read(std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    const TransferFailure failure = readAll(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()));
    // A read cut short may leave the rest of the reply on its way; a whole
    // one ends what was owed (the loader answers each command once).
    owed_ = failure == TransferFailure::none ? OwedReply::none : OwedReply::maybe;
    switch (failure) {
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
    owed_ = OwedReply::maybe;
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
    owed_ = OwedReply::maybe;  // a single request knows nothing of replies
    return std::min(packetResult(readRequest(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))), count);
}

std::int32_t UsbVantrelWinDataLink::writePacket(const std::uint8_t *buffer, std::int32_t count)
{
    if (count < 0)
        return -1;
    owed_ = OwedReply::maybe;
    return std::min(packetResult(writeRequest(*pipes_, buffer, static_cast<std::uint32_t>(count), requestTimeout(firstTimeout()))), count);
}
