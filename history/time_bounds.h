#pragma once

// The times a user gives a query: "2025-05-20", "2025-05-20 13:45",
// "2025-05-20T13:45:12", in this computer's local time unless followed by
// "Z" or an offset such as "+02:00".

#include <optional>
#include <string_view>

#include "history/history_entry.h"

namespace history {

// The first moment the text names: a day's start for a day.
std::optional<TimePoint> parseSince(std::string_view text);
// The moment after the last one the text names, so that "until 2025-05-20"
// keeps all of that day and "until 13:45" all of that minute.
std::optional<TimePoint> parseUntil(std::string_view text);

}  // namespace history
