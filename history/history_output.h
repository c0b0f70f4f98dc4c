#pragma once

// Entries for people and programs: CSV for a spreadsheet, JSON for scripts
// (named as vantrel-flash's results name the same things). Device text
// becomes UTF-8 byte for byte (a NUL as U+2400).

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "history/history_entry.h"

namespace history {

// RFC 4180 (quoted fields, CRLF) with a header row, in UTF-8 after a byte
// order mark: without one, a common spreadsheet program reads the file in
// the computer's 8-bit code page and garbles every character beyond ASCII.
// Times are "2025-05-20 13:45:12.345" in UTC, which spreadsheets take as
// date and time; the CRC as "0x..." and durations in whole milliseconds,
// which no locale reads as another number. A text field that a spreadsheet
// would run as a formula (it starts with =, +, -, @) starts with an
// apostrophe: a device's serial number is not to run anything.
std::string csvOf(const std::vector<HistoryEntry> &entries);

nlohmann::json jsonOf(const HistoryEntry &entry);

}  // namespace history
