#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// What answers behind a device's pipes on the virtual bus: the device's own
// logic. The bus carries the host's bytes to it and asks it for the bytes to
// carry back, and lets the time that its work takes go by first.
class EndpointPeer {
public:
    virtual ~EndpointPeer() = default;

    // Bytes that crossed the OUT pipe, in any split.
    virtual void receive(const std::uint8_t *data, std::size_t size) = 0;
    // The device time that its work on what it was sent takes, since the
    // last call: its replies are there once that has gone by.
    virtual std::int64_t takeWorkMicroseconds() = 0;
    // Whether it has reply bytes waiting to be sent.
    virtual bool hasReply() const = 0;
    // Fills one IN transfer of at most `capacity` bytes and returns the bytes
    // produced: its replies when `replyReady`, else only what it sends when
    // it has nothing to say.
    virtual std::size_t send(std::uint8_t *out, std::size_t capacity, bool replyReady) = 0;
    // How often it sends a packet while it has nothing to say (a bridge
    // chip's status); 0: it stays silent.
    virtual std::int64_t idlePacketMicroseconds() const { return 0; }

    // The pipe reset, which only some devices' drivers know; false when refused.
    virtual bool resetPipe() { return false; }
    // A vendor control request with no data stage; false when refused.
    virtual bool vendorRequest(std::uint32_t, std::uint32_t, std::uint32_t) { return false; }

    // The device lost power: what it was sent and has not answered, and what
    // it has not yet sent, is gone.
    virtual void unplugged() {}
};

}  // namespace platform
