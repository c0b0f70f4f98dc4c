#include "simulation/ftdi_chip.h"

#include <algorithm>

namespace simulation {

namespace {

enum : int { resetRequest = 0, latencyRequest = 9, bitModeRequest = 11 };
enum : int { purgeReceive = 1, purgeTransmit = 2 };

}  // namespace

std::size_t FtdiChip::readPackets(std::uint8_t *out, std::size_t count)
{
    if (count == 0)
        return 0;
    std::size_t produced = 0;
    do {
        const std::size_t room = std::min(packetSize, count - produced);
        out[produced] = modemStatus;
        if (room > 1)
            out[produced + 1] = lineStatus;
        std::size_t payload = 0;
        if (room > 2)
            payload = loader_.take(out + produced + 2, room - 2);
        produced += std::min<std::size_t>(room, 2) + payload;
        if (payload == 0)
            break;  // only status was sent: nothing more to say
    } while (produced < count && loader_.available() > 0);
    return produced;
}

std::size_t FtdiChip::statusPacket(std::uint8_t *out, std::size_t count)
{
    const std::uint8_t status[2] = {modemStatus, lineStatus};
    const std::size_t n = std::min<std::size_t>(count, sizeof status);
    std::copy_n(status, n, out);
    return n;
}

bool FtdiChip::vendorRequest(int request, int value, int index)
{
    requests_.push_back({request, value, index});
    if (accepting_ > 0)
        --accepting_;
    else if (refusals_ != 0) {
        if (refusals_ > 0)
            --refusals_;
        return false;
    }
    switch (request) {
    case resetRequest:
        // The chip's receive buffer holds what it would send to the host.
        if (value == purgeReceive)
            loader_.discardOutput();
        else if (value == purgeTransmit)
            loader_.discardInput();
        break;
    case latencyRequest:
        latency_ = value;
        break;
    case bitModeRequest:
        bitMode_ = value;
        break;
    default:
        break;
    }
    return true;
}

}  // namespace simulation
