#include "history/entry_fields.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/device_text.h"

namespace history {

namespace {

constexpr std::array<Column, 20> columns{{
    {"entry_id", FieldType::uuid, false},
    {"recorded_at", FieldType::time, false},
    {"utc_offset_minutes", FieldType::integer, false},
    {"station", FieldType::text, false},
    {"program", FieldType::text, false},
    {"program_version", FieldType::text, false},
    {"serial", FieldType::blob, false},
    {"port", FieldType::text, false},
    {"variant", FieldType::text, true},
    {"firmware_before", FieldType::text, true},
    {"firmware_after", FieldType::text, true},
    {"carried_version", FieldType::text, true},
    {"image_crc32", FieldType::integer, true},
    {"outcome", FieldType::text, false},
    {"error_kind", FieldType::text, true},
    {"message", FieldType::text, false},
    {"stopped_task", FieldType::text, true},
    {"stopped_done", FieldType::integer, true},
    {"stopped_total", FieldType::integer, true},
    {"duration_ms", FieldType::integer, false},
}};

// U+2400 SYMBOL FOR NULL in UTF-8.
constexpr std::string_view storedNul = "\xE2\x90\x80";

// Text the program or the user made: well-formed UTF-8 is what every store
// takes, and one entry that a server refused would hold up all that wait
// behind it in the spool.
std::string utf8Text(std::string_view text)
{
    return platform::wellFormedUtf8(text);
}

Field optionalText(const std::optional<std::string> &text)
{
    return text ? Field(utf8Text(*text)) : Field(Null{});
}

Field optionalDeviceText(const std::optional<std::string> &text)
{
    return text ? Field(storedFromDevice(*text)) : Field(Null{});
}

[[noreturn]] void notAnEntry(const char *column)
{
    throw HistoryError(HistoryErrorKind::damaged,
                       std::string("the history holds a row that is no entry (its ") + column + " cannot be read)");
}

// Reads the fields in column order.
class FieldReader {
public:
    explicit FieldReader(std::vector<Field> &fields) : fields_(fields) {}

    std::optional<std::string> optionalText()
    {
        Field &field = next();
        if (std::holds_alternative<Null>(field))
            return std::nullopt;
        if (auto *text = std::get_if<std::string>(&field))
            return std::move(*text);
        notAnEntry(column());
    }
    std::string text()
    {
        std::optional<std::string> value = optionalText();
        if (!value)
            notAnEntry(column());
        return std::move(*value);
    }
    std::optional<std::string> optionalDeviceText()
    {
        std::optional<std::string> value = optionalText();
        return value ? std::optional(deviceFromStored(*value)) : std::nullopt;
    }
    std::string deviceText() { return deviceFromStored(text()); }
    std::string blob()
    {
        Field &field = next();
        if (auto *bytes = std::get_if<Blob>(&field))
            return std::move(bytes->bytes);
        // A serial number written as text by hand reads as its bytes.
        if (auto *text = std::get_if<std::string>(&field))
            return deviceFromStored(*text);
        notAnEntry(column());
    }
    std::optional<std::int64_t> optionalInteger()
    {
        Field &field = next();
        if (std::holds_alternative<Null>(field))
            return std::nullopt;
        if (auto *number = std::get_if<std::int64_t>(&field))
            return *number;
        notAnEntry(column());
    }
    std::int64_t integer()
    {
        std::optional<std::int64_t> value = optionalInteger();
        if (!value)
            notAnEntry(column());
        return *value;
    }
    TimePoint time()
    {
        std::optional<TimePoint> value = timeFromText(text());
        if (!value)
            notAnEntry(column());
        return *value;
    }

private:
    Field &next()
    {
        if (index_ >= fields_.size())
            notAnEntry("row");
        return fields_[index_++];
    }
    const char *column() const { return columns[index_ - 1].name; }

    std::vector<Field> &fields_;
    std::size_t index_ = 0;
};

}  // namespace

std::span<const Column> entryColumns()
{
    return columns;
}

std::string entryColumnList()
{
    std::string list;
    for (const Column &column : columns) {
        if (!list.empty())
            list += ", ";
        list += column.name;
    }
    return list;
}

std::string sqliteEntryColumnsV1(bool uniqueId)
{
    return std::string("entry_id TEXT NOT NULL") + (uniqueId ? " UNIQUE," : ",") +
           " recorded_at TEXT NOT NULL,"
           " utc_offset_minutes INTEGER NOT NULL,"
           " station TEXT NOT NULL,"
           " program TEXT NOT NULL,"
           " program_version TEXT NOT NULL,"
           " serial BLOB NOT NULL,"
           " port TEXT NOT NULL,"
           " variant TEXT,"
           " firmware_before TEXT,"
           " firmware_after TEXT,"
           " carried_version TEXT,"
           " image_crc32 INTEGER,"
           " outcome TEXT NOT NULL,"
           " error_kind TEXT,"
           " message TEXT NOT NULL,"
           " stopped_task TEXT,"
           " stopped_done INTEGER,"
           " stopped_total INTEGER,"
           " duration_ms INTEGER NOT NULL";
}

std::vector<Field> fieldsOf(const HistoryEntry &entry)
{
    std::vector<Field> fields;
    fields.reserve(columns.size());
    fields.emplace_back(entry.id);
    fields.emplace_back(timeText(entry.time));
    fields.emplace_back(std::int64_t{entry.utcOffsetMinutes});
    fields.emplace_back(utf8Text(entry.station));
    fields.emplace_back(utf8Text(entry.program));
    fields.emplace_back(utf8Text(entry.programVersion));
    fields.emplace_back(Blob{entry.serial});
    fields.emplace_back(storedFromDevice(entry.port));
    fields.push_back(optionalText(entry.variant));
    fields.push_back(optionalDeviceText(entry.firmwareBefore));
    fields.push_back(optionalDeviceText(entry.firmwareAfter));
    fields.push_back(optionalDeviceText(entry.carriedVersion));
    fields.push_back(entry.imageCrc32 ? Field(std::int64_t{*entry.imageCrc32}) : Field(Null{}));
    fields.emplace_back(utf8Text(entry.outcome));
    fields.push_back(optionalText(entry.errorKind));
    fields.emplace_back(storedFromDevice(entry.message));
    if (entry.stoppedIn) {
        fields.emplace_back(utf8Text(entry.stoppedIn->task));
        fields.emplace_back(entry.stoppedIn->done);
        fields.emplace_back(entry.stoppedIn->total);
    } else {
        fields.insert(fields.end(), 3, Field(Null{}));
    }
    fields.emplace_back(std::int64_t{entry.duration.count()});
    return fields;
}

HistoryEntry entryOf(std::vector<Field> fields)
{
    FieldReader read(fields);
    // Every member is given, so that reading makes no new id or time.
    std::string id = read.text();
    const TimePoint time = read.time();
    const std::int64_t offset = read.integer();
    std::string station = read.text();
    std::string program = read.text();
    std::string programVersion = read.text();
    std::string serial = read.blob();
    std::string port = read.deviceText();
    std::optional<std::string> variant = read.optionalText();
    std::optional<std::string> before = read.optionalDeviceText();
    std::optional<std::string> after = read.optionalDeviceText();
    std::optional<std::string> carried = read.optionalDeviceText();
    const std::optional<std::int64_t> crc = read.optionalInteger();
    std::string outcome = read.text();
    std::optional<std::string> errorKind = read.optionalText();
    std::string message = read.deviceText();
    std::optional<std::string> task = read.optionalText();
    const std::optional<std::int64_t> done = read.optionalInteger();
    const std::optional<std::int64_t> total = read.optionalInteger();
    const std::int64_t duration = read.integer();
    if (offset < -24 * 60 || offset > 24 * 60)
        notAnEntry("utc_offset_minutes");
    if (crc && (*crc < 0 || *crc > 0xFFFFFFFF))
        notAnEntry("image_crc32");
    std::optional<StopPoint> stoppedIn;
    if (task)
        stoppedIn = StopPoint{std::move(*task), done.value_or(0), total.value_or(0)};
    return HistoryEntry{
        .id = std::move(id),
        .time = time,
        .utcOffsetMinutes = static_cast<int>(offset),
        .station = std::move(station),
        .program = std::move(program),
        .programVersion = std::move(programVersion),
        .serial = std::move(serial),
        .port = std::move(port),
        .variant = std::move(variant),
        .firmwareBefore = std::move(before),
        .firmwareAfter = std::move(after),
        .carriedVersion = std::move(carried),
        .imageCrc32 = crc ? std::optional(static_cast<std::uint32_t>(*crc)) : std::nullopt,
        .outcome = std::move(outcome),
        .errorKind = std::move(errorKind),
        .message = std::move(message),
        .stoppedIn = std::move(stoppedIn),
        .duration = Milliseconds(duration),
    };
}

bool isEntryId(std::string_view id)
{
    if (id.size() != 36)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = id[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex)
            return false;
    }
    return true;
}

std::string storedFromDevice(std::string_view latin1)
{
    std::string stored;
    std::size_t start = 0;
    for (std::size_t nul = latin1.find('\0'); nul != std::string_view::npos; nul = latin1.find('\0', start)) {
        stored += platform::utf8FromLatin1(latin1.substr(start, nul - start));
        stored += storedNul;
        start = nul + 1;
    }
    return stored + platform::utf8FromLatin1(latin1.substr(start));
}

std::string deviceFromStored(std::string_view stored)
{
    std::string device;
    std::size_t start = 0;
    for (std::size_t nul = stored.find(storedNul); nul != std::string_view::npos;
         nul = stored.find(storedNul, start)) {
        device += platform::latin1FromUtf8(stored.substr(start, nul - start));
        device += '\0';
        start = nul + storedNul.size();
    }
    return device + platform::latin1FromUtf8(stored.substr(start));
}

std::string timeText(TimePoint time)
{
    using namespace std::chrono;
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss<Milliseconds> clock(time - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::optional<TimePoint> timeFromText(std::string_view text)
{
    using namespace std::chrono;
    // Exactly the form timeText writes: fixed width, digits where digits go.
    constexpr std::string_view form = "0000-00-00T00:00:00.000Z";
    if (text.size() != form.size())
        return std::nullopt;
    for (std::size_t i = 0; i < form.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (form[i] == '0' ? !digit : text[i] != form[i])
            return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        std::from_chars(text.data() + at, text.data() + at + length, value);
        return value;
    };
    const year_month_day date{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                              day(static_cast<unsigned>(number(8, 2)))};
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return sys_days(date) + hours(hour) + minutes(minute) + seconds(second) + Milliseconds(number(20, 3));
}

std::vector<Condition> conditionsOf(const HistoryFilter &filter)
{
    std::vector<Condition> conditions;
    if (filter.serial)
        conditions.push_back({"serial", "=", Blob{*filter.serial}});
    if (filter.since)
        conditions.push_back({"recorded_at", ">=", timeText(*filter.since)});
    // The end of 9999 is the year 10000, which the stored times' fixed
    // width cannot hold (and text would sort before them): no entry is that
    // late, so such an end bounds nothing.
    if (filter.until)
        if (std::string end = timeText(*filter.until); end.size() <= std::strlen("9999-12-31T23:59:59.999Z"))
            conditions.push_back({"recorded_at", "<", std::move(end)});
    if (filter.outcome)
        conditions.push_back({"outcome", "=", *filter.outcome});
    if (filter.station)
        conditions.push_back({"station", "=", *filter.station});
    return conditions;
}

}  // namespace history
