#pragma once

#include <cstdint>

// A bare byte stream to and from an adapter.
//
// read() and write() return the number of bytes moved. Callers pass the count
// they need and treat any other result as a failure of the exchange; a link
// may also throw HException with a message of its own.
class HIOInterface {
public:
    HIOInterface() = default;
    HIOInterface(const HIOInterface &) = delete;
    HIOInterface &operator=(const HIOInterface &) = delete;
    virtual ~HIOInterface() = default;

    virtual std::int32_t read(std::uint8_t *buffer, std::int32_t count) = 0;
    virtual std::int32_t write(const std::uint8_t *buffer, std::int32_t count) = 0;
};
