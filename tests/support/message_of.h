#pragma once

#include <functional>
#include <string>

#include "datalink/hexception.h"

// The message of the HException that `operation` throws, or "(no exception)".
inline std::string messageOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const HException &e) {
        return e.message();
    }
    return "(no exception)";
}
