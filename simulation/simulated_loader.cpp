#include "simulation/simulated_loader.h"

#include <algorithm>
#include <cstring>

#include "loader/commands.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "update/firmware_image.h"
#include "platform/byte_order.h"

namespace simulation {

namespace {

using namespace loader;

constexpr std::size_t imageHeaderSize = 64;

void appendLittleEndian32(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    std::uint8_t bytes[4];
    putLittleEndian32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

SimulatedLoader::SimulatedLoader(std::uint32_t flashBase, std::uint32_t flashSize,
                                 std::uint32_t imageAddress)
    : flashBase_(flashBase), flash_(flashSize, 0xFF), imageAddress_(imageAddress)
{
}

void SimulatedLoader::receive(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    if (now_) {
        const std::int64_t now = now_();
        const bool midCommand = writing_ || !pending_.empty();
        if (midCommand && now - lastByteAt_ > interByteTimeoutMicroseconds)
            discardInput();
        lastByteAt_ = now;
    }
    std::size_t at = 0;
    while (at < size) {
        if (writing_) {
            const std::size_t n = std::min<std::size_t>(writeRemaining_, size - at);
            if (writeInRange_) {
                std::uint8_t *target = flash_.data() + (writeAddress_ - flashBase_);
                for (std::size_t i = 0; i < n; ++i)
                    target[i] &= data[at + i];
            }
            writeAddress_ += static_cast<std::uint32_t>(n);
            writeRemaining_ -= static_cast<std::uint32_t>(n);
            at += n;
            if (writeRemaining_ == 0)
                finishWrite();
            continue;
        }
        pending_.push_back(data[at++]);
        // Resynchronise on the signature: a byte that cannot start a packet is dropped.
        while (pending_.size() >= 2 &&
               std::memcmp(pending_.data() + 1, packetSignature, std::min<std::size_t>(pending_.size() - 1, 4)) != 0)
            pending_.erase(pending_.begin());
        const std::size_t needed = hasAddress(pending_[0]) ? addressedPacketSize : plainPacketSize;
        if (pending_.size() == needed)
            handlePacket();
    }
}

void SimulatedLoader::discardInput()
{
    pending_.clear();
    writing_ = false;
    writeRemaining_ = 0;
}

std::size_t SimulatedLoader::take(std::uint8_t *out, std::size_t maxBytes)
{
    const std::size_t n = std::min(maxBytes, output_.size());
    std::copy_n(output_.begin(), n, out);
    output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void SimulatedLoader::injectFault(std::uint8_t command, LoaderFault fault, int occurrence)
{
    faults_[command].emplace_back(occurrence, fault);
}

LoaderFault SimulatedLoader::faultFor(std::uint8_t command)
{
    const int arrival = ++arrivals_[command];
    const auto found = faults_.find(command);
    if (found == faults_.end())
        return LoaderFault::none;
    for (const auto &[occurrence, fault] : found->second)
        if (occurrence == 0 || occurrence == arrival)
            return fault;
    return LoaderFault::none;
}

int SimulatedLoader::commandCount(std::uint8_t command) const
{
    const auto found = arrivals_.find(command);
    return found == arrivals_.end() ? 0 : found->second;
}

std::int64_t SimulatedLoader::takeWorkMicroseconds()
{
    const std::int64_t work = workMicroseconds_;
    workMicroseconds_ = 0;
    return work;
}

void SimulatedLoader::addWork(std::int64_t perKiB, std::uint32_t length)
{
    workMicroseconds_ += perKiB * length / 1024;
}

void SimulatedLoader::handlePacket()
{
    std::vector<std::uint8_t> packet;
    packet.swap(pending_);
    packets_.push_back(packet);
    const std::uint8_t code = packet[0];
    const LoaderFault fault = faultFor(code);
    workMicroseconds_ += timing_.commandMicroseconds;

    std::uint32_t address = 0, length = 0;
    if (hasAddress(code)) {
        address = littleEndian32(packet.data() + 5);
        length = littleEndian32(packet.data() + 9);
    }
    if (code == writeCommand) {
        // The data follows the packet; the reply comes once it has all arrived.
        writeInRange_ = connected_ && inFlash(address, length);
        writeAddress_ = address;
        writeStart_ = address;
        writeRemaining_ = length;
        writeFault_ = fault;
        writing_ = length > 0;
        if (!writing_)
            finishWrite();
        return;
    }
    if (observer_ && !observer_(code))
        return;

    switch (code) {
    case connectCommand:
        if (busyReplies_ > 0) {
            --busyReplies_;
            reply(code, {replyTag(code), busyStatus}, fault);
        } else {
            connected_ = true;
            reply(code, {replyTag(code), 0x01}, fault);
        }
        break;
    case disconnectCommand:
        connected_ = false;
        reply(code, {replyTag(code), 0x01}, fault);
        break;
    case eraseCommand: {
        const bool ok = connected_ && inFlash(address, length);
        if (ok) {
            std::fill_n(flash_.begin() + (address - flashBase_), length, std::uint8_t{0xFF});
            addWork(timing_.eraseMicrosecondsPerKiB, length);
        }
        reply(code, {replyTag(code), static_cast<std::uint8_t>(ok ? 1 : 0)}, fault);
        break;
    }
    case verifyCommand: {
        std::uint32_t crc = inFlash(address, length) ? crcOf(address, length) : 0xFFFFFFFFU;
        if (fault == LoaderFault::wrongCrc)
            crc ^= 1;
        addWork(timing_.verifyMicrosecondsPerKiB, length);
        std::vector<std::uint8_t> bytes = {replyTag(code), 0x00};
        appendLittleEndian32(bytes, crc);
        reply(code, bytes, fault);
        break;
    }
    case loaderInfoCommand: {
        std::vector<std::uint8_t> bytes = {replyTag(code)};
        const std::vector<std::uint8_t> payload = loaderInfoPayload();
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        reply(code, bytes, fault);
        break;
    }
    default:
        break;  // unknown commands get no answer
    }
}

void SimulatedLoader::finishWrite()
{
    writing_ = false;
    written_ = true;
    if (writeFault_ == LoaderFault::corruptData && writeInRange_)
        flash_[writeStart_ - flashBase_] ^= 0x5A;
    addWork(timing_.programMicrosecondsPerKiB, writeAddress_ - writeStart_);
    if (observer_ && !observer_(writeCommand))
        return;
    reply(writeCommand, {replyTag(writeCommand), static_cast<std::uint8_t>(writeInRange_ ? 1 : 0)}, writeFault_);
}

void SimulatedLoader::reply(std::uint8_t, std::vector<std::uint8_t> bytes, LoaderFault fault)
{
    switch (fault) {
    case LoaderFault::noReply:
        return;
    case LoaderFault::shortReply:
        bytes.pop_back();
        break;
    case LoaderFault::wrongTag:
        bytes[0] ^= 0x01;
        break;
    case LoaderFault::statusZero:
        if (bytes.size() >= 2)
            bytes[1] = 0;
        break;
    case LoaderFault::strayBytes:
        bytes.insert(bytes.end(), {0x00, 0x5A, 0xA5});
        break;
    case LoaderFault::lateReply:
        workMicroseconds_ += lateReplyMicroseconds;
        break;
    default:
        break;
    }
    output_.insert(output_.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> SimulatedLoader::loaderInfoPayload() const
{
    std::vector<std::uint8_t> payload = {1, 0, 4, 0};  // loader version 1.4
    appendLittleEndian32(payload, static_cast<std::uint32_t>(flash_.size()));
    const bool valid = hasValidImage();
    appendLittleEndian32(payload, valid ? 1 : 0);
    if (valid) {
        const std::uint8_t *header = flashAt(imageAddress_);
        const std::size_t at = payload.size();
        payload.insert(payload.end(), header, header + imageHeaderSize);
        if (misreport_ && written_)
            ++payload[at + imageHeader::minorOffset];
    } else {
        payload.resize(payload.size() + imageHeaderSize, 0);
    }
    return payload;
}

void SimulatedLoader::eraseAll() { std::fill(flash_.begin(), flash_.end(), std::uint8_t{0xFF}); }

void SimulatedLoader::loadImage(const std::uint8_t *image, std::size_t size)
{
    if (!inFlash(imageAddress_, static_cast<std::uint32_t>(size)))
        return;
    std::copy_n(image, size, flash_.begin() + (imageAddress_ - flashBase_));
}

void SimulatedLoader::corruptFlash(std::uint32_t address, std::uint8_t xorMask)
{
    if (inFlash(address, 1))
        flash_[address - flashBase_] ^= xorMask;
}

bool SimulatedLoader::inFlash(std::uint32_t address, std::uint32_t length) const
{
    if (address < flashBase_)
        return false;
    const std::uint64_t offset = address - flashBase_;
    return offset + length <= flash_.size();
}

const std::uint8_t *SimulatedLoader::flashAt(std::uint32_t address) const
{
    return flash_.data() + (address - flashBase_);
}

std::uint32_t SimulatedLoader::crcOf(std::uint32_t address, std::uint32_t length) const
{
    return crc32(flashAt(address), length);
}

bool SimulatedLoader::hasValidImage() const
{
    return inFlash(imageAddress_, imageHeaderSize) &&
           littleEndian32(flashAt(imageAddress_)) == firmwareImageMagic;
}

}  // namespace simulation
