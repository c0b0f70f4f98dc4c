#include "cli/history_text.h"

#include <cmath>
#include <cstdlib>

#include "cli/text_table.h"
#include "platform/device_text.h"

namespace {

using platform::terminalFromLatin1;
using platform::terminalFromUtf8;

std::string deviceColumn(const std::optional<std::string> &text)
{
    return text ? terminalFromLatin1(*text) : std::string("-");
}

std::string secondsColumn(history::Milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(duration.count()) / 1000);
    return text;
}

// Why it did not succeed: its kind and the message, which quotes the device.
std::string failureColumn(const history::HistoryEntry &entry)
{
    if (!entry.errorKind)
        return "";
    return terminalFromUtf8(*entry.errorKind) + (entry.message.empty() ? "" : ": " + terminalFromLatin1(entry.message));
}

}  // namespace

std::string stationTimeText(history::TimePoint time, int utcOffsetMinutes)
{
    using namespace std::chrono;
    const auto local = floor<seconds>(time) + minutes(utcOffsetMinutes);
    const auto day = floor<days>(local);
    const year_month_day date(day);
    const hh_mm_ss clock(local - day);
    const int offset = std::abs(utcOffsetMinutes);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d %c%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), utcOffsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text;
}

void printHistory(std::FILE *out, const std::vector<history::HistoryEntry> &entries)
{
    std::vector<TableRow> rows{
        {"TIME", "STATION", "SERIAL", "VARIANT", "OUTCOME", "BEFORE", "AFTER", "SECONDS", "ERROR"}};
    for (const history::HistoryEntry &entry : entries) {
        const std::string &serial = entry.serial;
        rows.push_back({stationTimeText(entry.time, entry.utcOffsetMinutes), terminalFromUtf8(entry.station),
                        serial.empty() ? "(none)" : terminalFromLatin1(serial),
                        entry.variant ? terminalFromUtf8(*entry.variant) : "-", terminalFromUtf8(entry.outcome),
                        deviceColumn(entry.firmwareBefore), deviceColumn(entry.firmwareAfter),
                        secondsColumn(entry.duration), failureColumn(entry)});
    }
    printTable(out, rows);
}
