#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace simulation {

enum class LoaderFault {
    none,
    noReply,      // the command is swallowed
    shortReply,   // all but the last byte of the reply
    wrongTag,     // the tag of another command
    statusZero,   // the command failed
    wrongCrc,     // verify answers a CRC that does not match the flash
    corruptData,  // write programs a damaged first byte and still reports success
    strayBytes,   // the reply, then a few bytes that answer nothing
    lateReply,    // the reply comes only after the host's longest time-out
};

// Time the loader's flash work takes, for a realistic demo or a benchmark.
struct LoaderTiming {
    std::int64_t commandMicroseconds = 0;
    std::int64_t eraseMicrosecondsPerKiB = 0;
    std::int64_t programMicrosecondsPerKiB = 0;
    std::int64_t verifyMicrosecondsPerKiB = 0;
};

// The adapter's boot loader with its flash: the far side of the loader
// protocol. Flash behaves like flash: erasing sets bytes to 0xFF and
// programming can only clear bits, so a write without an erase shows up as a
// CRC mismatch. The loader information is derived from what flash holds at
// the image address.
class SimulatedLoader {
public:
    // A loader gives up on a command whose bytes stop coming: what arrives
    // after this much silence starts a new command, so that a host whose
    // write broke off mid-data is not answered with its next command taken
    // as the rest of the data.
    static constexpr std::int64_t interByteTimeoutMicroseconds = 300'000;
    // A late reply is ready this long after its command, just past the
    // 60 s that a host waits at most.
    static constexpr std::int64_t lateReplyMicroseconds = 61'000'000;

    SimulatedLoader(std::uint32_t flashBase, std::uint32_t flashSize, std::uint32_t imageAddress);

    // Bytes from the host, in any split.
    void receive(const std::uint8_t *data, std::size_t size);
    // Reply bytes waiting for the host.
    std::size_t available() const { return output_.size(); }
    std::size_t take(std::uint8_t *out, std::size_t maxBytes);
    // The FTDI chip's purges: replies not yet read, and a command not yet complete.
    void discardOutput() { output_.clear(); }
    void discardInput();

    // The next `count` connect commands are answered "busy".
    void setBusyReplies(int count) { busyReplies_ = count; }
    // A fault for one command code: on its `occurrence`-th arrival (1-based),
    // or on every arrival with 0.
    void injectFault(std::uint8_t command, LoaderFault fault, int occurrence = 0);
    // Once a write command has been taken, the loader information reports
    // a minor version one higher than the image in flash carries.
    void misreportVersionAfterWrites() { misreport_ = true; }
    void clearFaults() { faults_.clear(); }
    // Called for every complete command before it is answered; returning
    // false swallows the command without a reply (an adapter that reboots).
    void setCommandObserver(std::function<bool(std::uint8_t command)> observer)
    {
        observer_ = std::move(observer);
    }
    void setTiming(const LoaderTiming &timing) { timing_ = timing; }
    // The loader's own clock, in microseconds, for its inter-byte time-out;
    // without one it waits for the rest of a command forever.
    void setTimeSource(std::function<std::int64_t()> nowMicroseconds) { now_ = std::move(nowMicroseconds); }
    // Flash work done since the last call, for the transport to wait out.
    std::int64_t takeWorkMicroseconds();

    // Direct access to flash, as a programmer would have it.
    void eraseAll();
    void loadImage(const std::uint8_t *image, std::size_t size);  // at the image address
    void corruptFlash(std::uint32_t address, std::uint8_t xorMask);
    bool inFlash(std::uint32_t address, std::uint32_t length) const;
    const std::uint8_t *flashAt(std::uint32_t address) const;  // address must be in flash
    std::uint32_t crcOf(std::uint32_t address, std::uint32_t length) const;
    std::uint32_t imageAddress() const { return imageAddress_; }
    bool hasValidImage() const;

    // What the loader has seen.
    int commandCount(std::uint8_t command) const;
    const std::vector<std::vector<std::uint8_t>> &commandPackets() const { return packets_; }
    bool connected() const { return connected_; }

private:
    void handlePacket();
    void finishWrite();
    void reply(std::uint8_t command, std::vector<std::uint8_t> bytes, LoaderFault fault);
    LoaderFault faultFor(std::uint8_t command);
    std::vector<std::uint8_t> loaderInfoPayload() const;
    void addWork(std::int64_t perKiB, std::uint32_t length);

    std::uint32_t flashBase_;
    std::vector<std::uint8_t> flash_;
    std::uint32_t imageAddress_;

    std::vector<std::uint8_t> pending_;  // a command being assembled
    std::uint32_t writeAddress_ = 0;
    std::uint32_t writeRemaining_ = 0;
    bool writeInRange_ = false;
    bool writing_ = false;
    LoaderFault writeFault_ = LoaderFault::none;
    std::uint32_t writeStart_ = 0;

    std::deque<std::uint8_t> output_;
    int busyReplies_ = 0;
    bool connected_ = false;
    std::map<std::uint8_t, std::vector<std::pair<int, LoaderFault>>> faults_;
    std::map<std::uint8_t, int> arrivals_;
    std::vector<std::vector<std::uint8_t>> packets_;
    std::function<bool(std::uint8_t)> observer_;
    std::function<std::int64_t()> now_;
    std::int64_t lastByteAt_ = 0;
    LoaderTiming timing_;
    std::int64_t workMicroseconds_ = 0;
    bool misreport_ = false;
    bool written_ = false;
};

}  // namespace simulation
