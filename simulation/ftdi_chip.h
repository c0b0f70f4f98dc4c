#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulation/simulated_loader.h"

namespace simulation {

// The FTDI bridge chip in front of a simulated boot loader: it sends the
// loader's replies in 64-byte packets that start with two status bytes, sends
// status-only packets when it has nothing else, and answers vendor requests.
class FtdiChip {
public:
    static constexpr std::size_t packetSize = 64;
    static constexpr std::uint8_t modemStatus = 0x31;
    static constexpr std::uint8_t lineStatus = 0x60;

    struct VendorRequest {
        int request;
        int value;
        int index;
        friend bool operator==(const VendorRequest &, const VendorRequest &) = default;
    };

    explicit FtdiChip(SimulatedLoader &loader) : loader_(loader) {}

    // Fills `out` with as many whole packets of pending payload as fit in
    // `count` bytes (the last one possibly shorter); a status-only packet
    // when no payload is pending. Returns the bytes produced.
    std::size_t readPackets(std::uint8_t *out, std::size_t count);
    // A status-only packet (cut to `count`), as the chip sends while the
    // loader behind it has nothing ready. Returns the bytes produced.
    std::size_t statusPacket(std::uint8_t *out, std::size_t count);
    void write(const std::uint8_t *data, std::size_t size) { loader_.receive(data, size); }

    // Performs a vendor request; false when the chip refuses it.
    bool vendorRequest(int request, int value, int index);
    // After `accepting` more requests go through, the next `count` vendor
    // requests are refused; -1 refuses all of them.
    void refuseRequests(int count, int accepting = 0)
    {
        refusals_ = count;
        accepting_ = accepting;
    }
    const std::vector<VendorRequest> &requests() const { return requests_; }
    int latencyTimer() const { return latency_; }
    int bitMode() const { return bitMode_; }

private:
    SimulatedLoader &loader_;
    int refusals_ = 0;
    int accepting_ = 0;
    int latency_ = 16;
    int bitMode_ = 0;
    std::vector<VendorRequest> requests_;
};

}  // namespace simulation
