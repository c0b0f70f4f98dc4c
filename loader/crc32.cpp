#include "loader/crc32.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x80000000U) ? (reg << 1) ^ 0x04C11DB7U : reg << 1;
        table[i] = reg;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> table = makeTable();
static_assert(table[1] == 0x04C11DB7U && table[2] == 0x09823B6EU && table[255] == 0xB1F740B4U);

}  // namespace

std::uint32_t crc32(const std::uint8_t *data, std::size_t length)
{
    std::uint32_t reg = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < length; ++i)
        reg = (reg << 8) ^ table[(reg >> 24) ^ data[i]];
    return reg ^ 0xFFFFFFFFU;
}
