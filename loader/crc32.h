#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32/BZIP2: polynomial 0x04C11DB7, not reflected, initial value and final
// XOR 0xFFFFFFFF. The boot loader computes the same value over flash.
std::uint32_t crc32(const std::uint8_t *data, std::size_t length);
