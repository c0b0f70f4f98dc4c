#pragma once

#include <cstdint>

// Little-endian fields, as the boot loader, the image header and the pipe
// driver's request block lay them out: helpers for every layer, kept at the
// bottom so that any may use them.

inline std::uint16_t littleEndian16(const std::uint8_t *in)
{
    return static_cast<std::uint16_t>(in[0] | in[1] << 8);
}

inline std::uint32_t littleEndian32(const std::uint8_t *in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

inline void putLittleEndian32(std::uint8_t *out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
