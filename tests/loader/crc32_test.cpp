#include "loader/crc32.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

struct CrcCase {
    std::vector<std::uint8_t> bytes;
    std::uint32_t expected;
};

class Crc32Test : public testing::TestWithParam<CrcCase> {};

TEST_P(Crc32Test, MatchesCatalogueValues)
{
    const CrcCase &c = GetParam();
    EXPECT_EQ(crc32(c.bytes.data(), c.bytes.size()), c.expected);
}

std::vector<std::uint8_t> ascii(std::string_view text) { return {text.begin(), text.end()}; }

INSTANTIATE_TEST_SUITE_P(
    Values, Crc32Test,
    testing::Values(CrcCase{ascii("123456789"), 0xFC891918U},  // the check value
                    CrcCase{{}, 0U},                            // no bytes
                    CrcCase{{0x00}, 0xB1F7404BU},               // one zero byte
                    CrcCase{{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFU}));

TEST(Crc32, OnlyTheGivenLengthCounts)
{
    const std::vector<std::uint8_t> bytes = ascii("123456789XYZ");
    EXPECT_EQ(crc32(bytes.data(), 9), 0xFC891918U);
}

}  // namespace
