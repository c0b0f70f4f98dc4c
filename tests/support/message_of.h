#pragma once

#include <functional>
#include <optional>
#include <string>

#include "datalink/hexception.h"

// The HException that `operation` throws, if it throws one.
inline std::optional<HException> exceptionOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const HException &e) {
        return e;
    }
    return std::nullopt;
}

// The message of the HException that `operation` throws, or "(no exception)".
inline std::string messageOf(const std::function<void()> &operation)
{
    const std::optional<HException> thrown = exceptionOf(operation);
    return thrown ? thrown->message() : "(no exception)";
}
