#pragma once

#include <cstddef>
#include <cstdint>

// The boot loader's packets and replies, for both ends of the protocol: the
// host's operations (loader/protocol.cpp) and the simulated loader.
namespace loader {

enum Command : std::uint8_t {
    connectCommand = 0x01,
    disconnectCommand = 0x02,
    writeCommand = 0x03,
    eraseCommand = 0x05,
    verifyCommand = 0x07,
    loaderInfoCommand = 0x08,
};

// Every packet carries these four bytes right after its command code.
inline constexpr std::uint8_t packetSignature[4] = {0x4D, 0x39, 0xEA, 0xF6};
inline constexpr std::size_t plainPacketSize = 5;
// Erase, write and verify add the address and the length, little-endian.
inline constexpr std::size_t addressedPacketSize = 13;

constexpr bool hasAddress(std::uint8_t code)
{
    return code == writeCommand || code == eraseCommand || code == verifyCommand;
}

// A reply's first byte, its tag, is the complement of the command code.
constexpr std::uint8_t replyTag(std::uint8_t code) { return static_cast<std::uint8_t>(~code); }

// The second byte of connect, disconnect, erase and write replies.
inline constexpr std::uint8_t failedStatus = 0x00;
inline constexpr std::uint8_t busyStatus = 0xFF;  // connect only: ask again later

inline constexpr std::size_t statusReplySize = 2;
inline constexpr std::size_t crcReplySize = 6;  // tag, status, then the CRC-32 at offset 2
inline constexpr std::size_t loaderInfoReplySize = 77;  // tag, then the 76-byte information

}  // namespace loader
