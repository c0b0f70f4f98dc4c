#pragma once

// The JSON of a recording's lines, for the library's own files only (the
// JSON library is none of its users' business): names in tables, 8-bit text,
// and typed reading of a line's members, where every failure names the
// member.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/device_text.h"
#include "recording/byte_text.h"
#include "recording/recording_format.h"

namespace recording {

using Json = nlohmann::ordered_json;

// Why a line is not what it should be; caught where the line number is known.
struct Malformed {
    std::string reason;
};

// The names a value goes by in the file, in one table per type so that
// writing and reading can never disagree.
template <typename Value, std::size_t size>
using NameTable = std::array<std::pair<Value, const char *>, size>;

template <typename Value, std::size_t size>
const char *nameIn(const NameTable<Value, size> &table, Value value)
{
    for (const auto &[each, name] : table)
        if (each == value)
            return name;
    return "?";
}

// Device bytes as the file's text: each byte the character of its code.
inline Json text(const std::string &bytes) { return platform::utf8FromLatin1(bytes); }

// Typed access to one line's members, each failure a Malformed naming the member.
class Fields {
public:
    explicit Fields(const Json &object) : object_(object) {}

    bool has(const char *key) const { return object_.contains(key) && !object_.at(key).is_null(); }

    const Json &member(const char *key) const
    {
        if (!object_.contains(key))
            throw Malformed{std::string("\"") + key + "\" is missing"};
        return object_.at(key);
    }

    template <typename Number>
    Number number(const char *key, Number lowest = std::numeric_limits<Number>::min()) const
    {
        const Json &value = member(key);
        // Integers only: 1.5 or 1e3 is no count of bytes.
        if (value.is_number_unsigned()) {
            const auto n = value.get<std::uint64_t>();
            if (n <= static_cast<std::uint64_t>(std::numeric_limits<Number>::max()) &&
                static_cast<Number>(n) >= lowest)
                return static_cast<Number>(n);
        } else if (value.is_number_integer()) {
            const auto n = value.get<std::int64_t>();
            if (std::numeric_limits<Number>::is_signed && n >= static_cast<std::int64_t>(lowest))
                return static_cast<Number>(n);
        }
        throw Malformed{std::string("\"") + key + "\" is not a whole number in range"};
    }

    bool flag(const char *key) const
    {
        const Json &value = member(key);
        if (!value.is_boolean())
            throw Malformed{std::string("\"") + key + "\" is not true or false"};
        return value.get<bool>();
    }

    // A string as the bytes it stands for.
    std::string bytes(const char *key) const
    {
        const Json &value = member(key);
        if (!value.is_string())
            throw Malformed{std::string("\"") + key + "\" is not a string"};
        std::optional<std::string> decoded = platform::exactLatin1FromUtf8(value.get_ref<const std::string &>());
        if (!decoded)
            throw Malformed{std::string("\"") + key + "\" holds a character above U+00FF"};
        return *decoded;
    }

    std::optional<std::string> optionalBytes(const char *key) const
    {
        return has(key) ? std::optional(bytes(key)) : std::nullopt;
    }

    template <typename Value, std::size_t size>
    Value named(const char *key, const NameTable<Value, size> &table) const
    {
        const Json &value = member(key);
        if (value.is_string())
            for (const auto &[each, name] : table)
                if (value.get_ref<const std::string &>() == name)
                    return each;
        throw Malformed{std::string("\"") + key + "\" is none of the known names"};
    }

    // Time between two exchanges, bounded so that a replay on the real clock
    // ends and the replay's sum of times cannot overflow.
    std::int64_t elapsed(const char *key) const
    {
        const auto microseconds = number<std::int64_t>(key, 0);
        if (microseconds > maximumElapsedMicroseconds)
            throw Malformed{std::string("\"") + key + "\" is more than an hour, longer than any call waits"};
        return microseconds;
    }

    // The number of a signal that stopped the session: a small positive one.
    int stopSignal(const char *key) const
    {
        const int signal = number<int>(key, 1);
        if (signal > 64)
            throw Malformed{std::string("\"") + key + "\" is no signal's number"};
        return signal;
    }

    std::vector<std::uint8_t> hex(const char *key) const
    {
        std::optional<std::vector<std::uint8_t>> data = bytesFromHex(bytes(key));
        if (!data)
            throw Malformed{std::string("\"") + key + "\" is not hexadecimal bytes"};
        return *data;
    }

private:
    const Json &object_;
};

// An exchange's line without its number: "op", "dt" and the operation's
// members, each from the table of operations (recording/operations.cpp).
void writeExchange(Json &object, const Exchange &exchange);
Exchange readExchange(const Fields &fields);

}  // namespace recording
