#pragma once

// An entry as the columns of a table: one list that both engines (and the
// spool) create their tables from, bind their values from and read their
// rows back through, so that no store can drift from another.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "history/history.h"

namespace history {

enum class FieldType { integer, text, blob, time, uuid };

struct Column {
    const char *name;
    FieldType type;
    bool nullable;
};

// Every column of an entry, in the order fieldsOf gives them.
std::span<const Column> entryColumns();
// "entry_id, recorded_at, ..." for a statement.
std::string entryColumnList();
// The columns as the first schema of an SQLite table declares them (never to
// change: files in the field were made with it), the entry's id unique or
// not.
std::string sqliteEntryColumnsV1(bool uniqueId);

struct Null {
    friend bool operator==(Null, Null) = default;
};
struct Blob {
    std::string bytes;
    friend bool operator==(const Blob &, const Blob &) = default;
};
// Text is UTF-8; a time is text as timeText makes it.
using Field = std::variant<Null, std::int64_t, std::string, Blob>;

std::vector<Field> fieldsOf(const HistoryEntry &entry);
// The entry from the fields of a row (as many as entryColumns()). Throws
// HistoryError (damaged) for a row that holds no entry.
HistoryEntry entryOf(std::vector<Field> fields);

// True for an id as newEntryId makes them (any case): what a server's uuid
// column takes.
bool isEntryId(std::string_view id);

// Device text as the stores keep it: UTF-8 with each byte as the character
// of the same code, except NUL, which is U+2400 (no server takes a NUL in
// text, and no Latin-1 text holds U+2400), and the way back.
std::string storedFromDevice(std::string_view latin1);
std::string deviceFromStored(std::string_view stored);

// A time as "2025-05-20T13:45:12.345Z", which sorts as the times do; the way
// back gives nothing for any other text.
std::string timeText(TimePoint time);
std::optional<TimePoint> timeFromText(std::string_view text);

// The filter as conditions "column op ?" and their values, in order.
struct Condition {
    const char *column;
    const char *operation;
    Field value;
};
std::vector<Condition> conditionsOf(const HistoryFilter &filter);

}  // namespace history
