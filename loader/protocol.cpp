// The boot loader's command and reply protocol, as operations of HDataLink.
// Every command is one packet followed by one fixed-size reply whose first
// byte, the tag, is the complement of the command code.

#include <climits>
#include <cstring>

#include "datalink/data_link.h"
#include "datalink/hexception.h"
#include "platform/byte_order.h"
#include "loader/commands.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "loader/timing.h"

namespace {

using namespace loader;

constexpr int maxConnectPackets = 10;
constexpr unsigned busyWaitMilliseconds = 1000;

const char *const writeTimedOut = "write timed out";
const char *const readTimedOut = "hardware error: target JTAG adapter data link read timed out";

// Throws `failed` for status 0 and `wrongTag` for a tag other than `tag`,
// both of the command's kind.
void checkStatusReply(const std::uint8_t *reply, std::uint8_t tag, ErrorKind kind, const char *wrongTag,
                      const char *failed)
{
    if (reply[0] != tag)
        throw HException(kind, wrongTag);
    if (reply[1] == failedStatus)
        throw HException(kind, failed);
}

}  // namespace

void HDataLink::sendCommand(std::uint8_t code)
{
    std::uint8_t packet[plainPacketSize] = {code};
    std::memcpy(packet + 1, packetSignature, sizeof packetSignature);
    if (write(packet, sizeof packet) != static_cast<std::int32_t>(sizeof packet))
        throw HException(ErrorKind::linkFailed, writeTimedOut);
}

void HDataLink::sendCommand(std::uint8_t code, std::uint32_t address, std::uint32_t length)
{
    std::uint8_t packet[addressedPacketSize] = {code};
    std::memcpy(packet + 1, packetSignature, sizeof packetSignature);
    putLittleEndian32(packet + 5, address);
    putLittleEndian32(packet + 9, length);
    if (write(packet, sizeof packet) != static_cast<std::int32_t>(sizeof packet))
        throw HException(ErrorKind::linkFailed, writeTimedOut);
}

void HDataLink::readReply(std::uint8_t *reply, std::size_t size)
{
    const auto count = static_cast<std::int32_t>(size);
    if (read(reply, count) != count)
        throw HException(ErrorKind::noReply, readTimedOut);
}

void HDataLink::connect(bool waitForAnswer)
{
    purge();
    sendCommand(connectCommand);
    if (!waitForAnswer)
        return;
    for (int packets = 1;; ++packets) {
        std::uint8_t reply[statusReplySize];
        readReply(reply, sizeof reply);
        if (reply[0] != replyTag(connectCommand))
            throw HException(ErrorKind::connectFailed, "connect failed, unexpected tag returned");
        if (reply[1] == failedStatus)
            throw HException(ErrorKind::connectFailed, "connect failed");
        if (reply[1] != busyStatus)
            return;
        if (packets == maxConnectPackets)
            throw HException(ErrorKind::connectFailed, "connect failed");
        preciseDelay(busyWaitMilliseconds);
        purge();
        sendCommand(connectCommand);
    }
}

void HDataLink::disconnect()
{
    sendCommand(disconnectCommand);
    std::uint8_t reply[statusReplySize];
    readReply(reply, sizeof reply);
    // The link is purged whatever the reply says, so a bad reply leaves no
    // stale bytes behind.
    purge();
    checkStatusReply(reply, replyTag(disconnectCommand), ErrorKind::disconnectFailed,
                     "disconnect failed, unexpected tag returned", "disconnect failed");
}

void HDataLink::getLoaderInfo(LoaderInfo &info)
{
    sendCommand(loaderInfoCommand);
    std::uint8_t reply[loaderInfoReplySize];
    readReply(reply, sizeof reply);
    if (reply[0] != replyTag(loaderInfoCommand))
        throw HException(ErrorKind::deviceError, "get loader info failed, unexpected tag returned");
    const std::uint8_t *payload = reply + 1;
    info.loaderVersionMajor = littleEndian16(payload + 0);
    info.loaderVersionMinor = littleEndian16(payload + 2);
    for (int i = 0; i < 7; ++i)
        info.words[i] = littleEndian32(payload + 4 + 4 * i);
    info.imageVersionMajor = littleEndian16(payload + 32);
    info.imageVersionMinor = littleEndian16(payload + 34);
    std::memcpy(info.imageDescription, payload + 36, sizeof info.imageDescription);
}

void HDataLink::eraseMemory(std::uint32_t address, std::uint32_t length)
{
    sendCommand(eraseCommand, address, length);
    std::uint8_t reply[statusReplySize];
    readReply(reply, sizeof reply);
    checkStatusReply(reply, replyTag(eraseCommand), ErrorKind::eraseFailed,
                     "memory erase failed, unexpected tag returned", "memory erase failed");
}

void HDataLink::writeData(const std::uint8_t *data, std::uint32_t length)
{
    // write() counts in 32-bit signed units; a longer block cannot be sent in
    // the one call the loader expects.
    if (length > static_cast<std::uint32_t>(INT32_MAX))
        throw HException(ErrorKind::linkFailed, writeTimedOut);
    const auto count = static_cast<std::int32_t>(length);
    if (write(data, count) != count)
        throw HException(ErrorKind::linkFailed, writeTimedOut);
}

void HDataLink::writeMemory(std::uint32_t address, std::uint32_t length, const std::uint8_t *data)
{
    sendCommand(writeCommand, address, length);
    writeData(data, length);
    std::uint8_t reply[statusReplySize];
    readReply(reply, sizeof reply);
    checkStatusReply(reply, replyTag(writeCommand), ErrorKind::writeFailed,
                     "memory write failed, unexpected tag returned", "memory write failed");
}

bool HDataLink::verifyMemory(std::uint32_t address, std::uint32_t length, const std::uint8_t *data)
{
    sendCommand(verifyCommand, address, length);
    const std::uint32_t expected = crc32(data, length);
    std::uint8_t reply[crcReplySize];
    readReply(reply, sizeof reply);
    return littleEndian32(reply + 2) == expected;
}
