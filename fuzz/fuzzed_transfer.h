#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

// A transfer into `buffer` whose result the fuzzer chooses between `lowest`
// and `highest` (failures and counts beyond what was asked included), with
// as many of the fuzzer's bytes as the result claims, within `count`.
inline std::int32_t fuzzedTransfer(FuzzedDataProvider &input, std::uint8_t *buffer, std::int32_t count,
                                   std::int32_t lowest, std::int32_t highest)
{
    const auto result = input.ConsumeIntegralInRange<std::int32_t>(lowest, highest);
    const std::vector<std::uint8_t> bytes =
        input.ConsumeBytes<std::uint8_t>(static_cast<std::size_t>(std::clamp(result, 0, count)));
    std::copy(bytes.begin(), bytes.end(), buffer);
    return result;
}
