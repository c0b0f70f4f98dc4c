#pragma once

#include <cstdint>

#include "loader/timing.h"

// Guards a transfer against a device that completes request after request
// with no data: such completions do not count as progress, and once they have
// gone on for longer than the time-out the transfer has timed out.
class ProgressWatch {
public:
    explicit ProgressWatch(std::uint32_t timeout) : timeout_(timeout), since_(tickCount()) {}
    // False when nothing has moved for longer than the time-out.
    bool note(std::uint32_t bytes)
    {
        const std::uint32_t now = tickCount();
        if (bytes > 0)
            since_ = now;
        return now - since_ <= timeout_;
    }

private:
    std::uint32_t timeout_;
    std::uint32_t since_;
};
