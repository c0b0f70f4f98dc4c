#pragma once

#include <ranges>

// The row of a table of values and their names whose `key` member is
// `value`, or null: one lookup for the program's many small tables.
template <typename Rows, typename Key, typename Row = std::ranges::range_value_t<Rows>>
const Row *rowWhere(const Rows &rows, Key Row::*key, const Key &value)
{
    for (const Row &row : rows)
        if (row.*key == value)
            return &row;
    return nullptr;
}
