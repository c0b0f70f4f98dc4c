#include "history/history_output.h"

#include <array>
#include <cstdio>

#include "history/entry_fields.h"
#include "platform/device_text.h"

namespace history {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

constexpr std::array<const char *, 20> csvHeader{
    "id",         "time (UTC)",  "UTC offset (minutes)", "station",         "program",
    "program version", "serial", "port",                 "variant",         "firmware before",
    "firmware after",  "carried version", "image CRC-32", "outcome",        "error kind",
    "message",    "stopped in task", "bytes done",        "bytes",           "duration (ms)",
};

std::string csvField(std::string_view text)
{
    std::string field = "\"";
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        field += '\'';
    for (const char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + '"';
}

std::string csvFieldOptional(const std::optional<std::string> &text)
{
    return text ? csvField(*text) : std::string();
}

std::string device(std::string_view latin1)
{
    return csvField(storedFromDevice(latin1));
}

std::string deviceOptional(const std::optional<std::string> &latin1)
{
    return latin1 ? device(*latin1) : std::string();
}

std::string csvTime(TimePoint time)
{
    // "2025-05-20T13:45:12.345Z" as "2025-05-20 13:45:12.345".
    std::string text = timeText(time);
    text[10] = ' ';
    text.pop_back();
    return text;
}

std::string csvRow(const HistoryEntry &entry)
{
    char crc[16] = "";
    if (entry.imageCrc32)
        std::snprintf(crc, sizeof crc, "0x%08X", static_cast<unsigned>(*entry.imageCrc32));
    const std::array<std::string, 20> fields{
        csvField(entry.id),
        csvTime(entry.time),
        std::to_string(entry.utcOffsetMinutes),
        csvField(entry.station),
        csvField(entry.program),
        csvField(entry.programVersion),
        device(entry.serial),
        device(entry.port),
        csvFieldOptional(entry.variant),
        deviceOptional(entry.firmwareBefore),
        deviceOptional(entry.firmwareAfter),
        deviceOptional(entry.carriedVersion),
        crc,
        csvField(entry.outcome),
        csvFieldOptional(entry.errorKind),
        device(entry.message),
        entry.stoppedIn ? csvField(entry.stoppedIn->task) : std::string(),
        entry.stoppedIn ? std::to_string(entry.stoppedIn->done) : std::string(),
        entry.stoppedIn ? std::to_string(entry.stoppedIn->total) : std::string(),
        std::to_string(entry.duration.count()),
    };
    std::string row = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i)
        row += "," + fields[i];
    return row + "\r\n";
}

// JSON carries every character, NUL too, as the tool's results do.
nlohmann::json optionalDeviceText(const std::optional<std::string> &latin1)
{
    return latin1 ? nlohmann::json(platform::utf8FromLatin1(*latin1)) : nlohmann::json(nullptr);
}

nlohmann::json optionalText(const std::optional<std::string> &text)
{
    return text ? nlohmann::json(platform::wellFormedUtf8(*text)) : nlohmann::json(nullptr);
}

}  // namespace

std::string csvOf(const std::vector<HistoryEntry> &entries)
{
    std::string csv(byteOrderMark);
    for (std::size_t i = 0; i < csvHeader.size(); ++i)
        csv += std::string(i == 0 ? "" : ",") + csvHeader[i];
    csv += "\r\n";
    for (const HistoryEntry &entry : entries)
        csv += csvRow(entry);
    return csv;
}

nlohmann::json jsonOf(const HistoryEntry &entry)
{
    using nlohmann::json;
    using platform::utf8FromLatin1;
    using platform::wellFormedUtf8;
    json object = {
        {"id", entry.id},
        {"time", timeText(entry.time)},
        {"utcOffsetMinutes", entry.utcOffsetMinutes},
        {"station", wellFormedUtf8(entry.station)},
        {"program", wellFormedUtf8(entry.program)},
        {"programVersion", wellFormedUtf8(entry.programVersion)},
        {"serial", utf8FromLatin1(entry.serial)},
        {"port", utf8FromLatin1(entry.port)},
        {"variant", optionalText(entry.variant)},
        {"versionBefore", optionalDeviceText(entry.firmwareBefore)},
        {"versionAfter", optionalDeviceText(entry.firmwareAfter)},
        {"carriedVersion", optionalDeviceText(entry.carriedVersion)},
        {"imageCrc32", entry.imageCrc32 ? json(*entry.imageCrc32) : json(nullptr)},
        {"outcome", wellFormedUtf8(entry.outcome)},
        {"errorKind", optionalText(entry.errorKind)},
        {"message", utf8FromLatin1(entry.message)},
        {"stoppedIn", nullptr},
        // Milliseconds, as the tool's results give durations.
        {"durationSeconds", static_cast<double>(entry.duration.count()) / 1000},
    };
    if (entry.stoppedIn)
        object["stoppedIn"] = {{"task", wellFormedUtf8(entry.stoppedIn->task)},
                               {"bytesDone", entry.stoppedIn->done},
                               {"bytes", entry.stoppedIn->total}};
    return object;
}

}  // namespace history
