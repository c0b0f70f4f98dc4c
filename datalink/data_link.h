#pragma once

#include <cstddef>
#include <cstdint>

#include "datalink/io_interface.h"

struct LoaderInfo;

// The data link base: a byte stream with time-outs and a purge, plus the boot
// loader's commands, which work over any link because they use nothing but
// read(), write() and purge().
class HDataLink : public HIOInterface {
public:
    HDataLink() = default;

    // Discards input that nobody has read and output not yet sent.
    virtual void purge() {}
    virtual void setTimeouts(std::int32_t first, std::int32_t second)
    {
        firstTimeout_ = first;
        secondTimeout_ = second;
    }
    // Goes through setTimeouts() so that a link overriding it sees every change.
    virtual void setTimeout(std::int32_t milliseconds) { setTimeouts(milliseconds, milliseconds); }
    virtual bool reservedQuery1() { return false; }
    virtual bool reservedQuery2() { return false; }
    virtual bool reservedQuery3() { return false; }
    virtual bool reservedQuery4() { return false; }

    // The time-out of reads and writes, in milliseconds.
    std::int32_t firstTimeout() const { return firstTimeout_; }
    // Stored for completeness; nothing consults it.
    std::int32_t secondTimeout() const { return secondTimeout_; }

    // Boot loader commands (loader/protocol.cpp). Each throws HException.
    void connect(bool waitForAnswer);
    void disconnect();
    void getLoaderInfo(LoaderInfo &info);
    void eraseMemory(std::uint32_t address, std::uint32_t length);
    void writeMemory(std::uint32_t address, std::uint32_t length, const std::uint8_t *data);
    bool verifyMemory(std::uint32_t address, std::uint32_t length, const std::uint8_t *data);
    void writeData(const std::uint8_t *data, std::uint32_t length);

private:
    void sendCommand(std::uint8_t code);
    void sendCommand(std::uint8_t code, std::uint32_t address, std::uint32_t length);
    void readReply(std::uint8_t *reply, std::size_t size);

    std::int32_t firstTimeout_ = 1000;
    std::int32_t secondTimeout_ = 1000;
};
