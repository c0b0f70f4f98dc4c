#include "datalink/usb_vantrel_link.h"

#include <algorithm>

#include "datalink/hexception.h"
#include "datalink/progress_watch.h"

namespace {

constexpr std::int32_t constructionTimeout = 10000;

}  // namespace

UsbVantrelWinDataLink::UsbVantrelWinDataLink(const UsbDeviceInfo &device)
{
    setTimeout(constructionTimeout);
    pipes_ = openPipeSet(device.devicePath);
}

UsbVantrelWinDataLink::~UsbVantrelWinDataLink() = default;

std::int32_t UsbVantrelWinDataLink::read(std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    ProgressWatch watch(requestTimeout(firstTimeout()));
    std::int32_t done = 0;
    while (done < count) {
        const auto chunk = std::min<std::uint32_t>(static_cast<std::uint32_t>(count - done), maxRequestBytes);
        const RequestResult result = readRequest(*pipes_, buffer + done, chunk, requestTimeout(firstTimeout()));
        if (!result.wentPending)
            throw HException("read operation failed (I/O pending)");
        if (!result.completedInTime)
            throw HException("read operation timed out");
        if (!result.bytes)
            throw HException("read operation failed (GetOverlappedResult)");
        // A short completion (a short USB transfer) asks for the rest; a
        // driver claiming more than asked is held to what was asked.
        const std::uint32_t moved = std::min(*result.bytes, chunk);
        if (!watch.note(moved))
            throw HException("read operation timed out");
        done += static_cast<std::int32_t>(moved);
    }
    return count;
}

std::int32_t UsbVantrelWinDataLink::write(const std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    ProgressWatch watch(requestTimeout(firstTimeout()));
    std::int32_t done = 0;
    while (done < count) {
        const auto chunk = std::min<std::uint32_t>(static_cast<std::uint32_t>(count - done), maxRequestBytes);
        const RequestResult result = writeRequest(*pipes_, buffer + done, chunk, requestTimeout(firstTimeout()));
        if (!result.wentPending)
            throw HException("write operation failed");
        if (!result.completedInTime)
            throw HException("write operation timed out");
        if (!result.bytes)
            throw HException("write operation failed");
        const std::uint32_t moved = std::min(*result.bytes, chunk);
        if (!watch.note(moved))
            throw HException("write operation timed out");
        done += static_cast<std::int32_t>(moved);
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
