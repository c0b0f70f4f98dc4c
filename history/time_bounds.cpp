#include "history/time_bounds.h"

#include <ctime>

namespace history {

namespace {

struct NamedTime {
    std::chrono::sys_seconds start;  // the first moment named
    std::chrono::seconds span;       // how long the text names: a day, a minute, a second
};

// Reads `count` digits at `at`, moving past them.
std::optional<int> digits(std::string_view text, std::size_t &at, std::size_t count)
{
    if (at + count > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    at += count;
    return value;
}

bool skip(std::string_view text, std::size_t &at, char c)
{
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// The local time as UTC, with what the computer's rules say of summer time.
std::optional<std::chrono::sys_seconds> fromLocal(const std::chrono::year_month_day &date, int hour, int minute,
                                                  int second)
{
    std::tm local{};
    local.tm_year = static_cast<int>(date.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1))
        return std::nullopt;
    return std::chrono::sys_seconds(std::chrono::seconds(seconds));
}

std::optional<NamedTime> parse(std::string_view text)
{
    using namespace std::chrono;
    std::size_t at = 0;
    const std::optional<int> y = digits(text, at, 4);
    const bool dash1 = skip(text, at, '-');
    const std::optional<int> m = digits(text, at, 2);
    const bool dash2 = skip(text, at, '-');
    const std::optional<int> d = digits(text, at, 2);
    if (!y || !dash1 || !m || !dash2 || !d)
        return std::nullopt;
    const year_month_day date{year(*y), month(static_cast<unsigned>(*m)), day(static_cast<unsigned>(*d))};
    if (!date.ok())
        return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    seconds span = days(1);
    if (skip(text, at, 'T') || skip(text, at, ' ')) {
        const std::optional<int> h = digits(text, at, 2);
        const bool colon = skip(text, at, ':');
        const std::optional<int> min = digits(text, at, 2);
        if (!h || !colon || !min || *h > 23 || *min > 59)
            return std::nullopt;
        hour = *h, minute = *min, span = minutes(1);
        if (skip(text, at, ':')) {
            const std::optional<int> s = digits(text, at, 2);
            if (!s || *s > 59)
                return std::nullopt;
            second = *s, span = seconds(1);
        }
    }
    std::optional<minutes> offset;
    if (skip(text, at, 'Z')) {
        offset = minutes(0);
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        const std::optional<int> oh = digits(text, at, 2);
        const bool colon = skip(text, at, ':');
        const std::optional<int> om = digits(text, at, 2);
        if (!oh || !colon || !om || *oh > 23 || *om > 59)
            return std::nullopt;
        offset = minutes(sign * (*oh * 60 + *om));
    }
    if (at != text.size())
        return std::nullopt;
    if (offset)
        return NamedTime{sys_days(date) + hours(hour) + minutes(minute) + seconds(second) - *offset, span};
    const std::optional<sys_seconds> start = fromLocal(date, hour, minute, second);
    if (!start)
        return std::nullopt;
    if (span == days(1)) {
        // A local day is not always 24 hours long: it ends where the next begins.
        const std::optional<sys_seconds> next = fromLocal(year_month_day(sys_days(date) + days(1)), 0, 0, 0);
        if (!next)
            return std::nullopt;
        span = *next - *start;
    }
    return NamedTime{*start, span};
}

}  // namespace

std::optional<TimePoint> parseSince(std::string_view text)
{
    const std::optional<NamedTime> named = parse(text);
    if (!named)
        return std::nullopt;
    return TimePoint(named->start);
}

std::optional<TimePoint> parseUntil(std::string_view text)
{
    const std::optional<NamedTime> named = parse(text);
    if (!named)
        return std::nullopt;
    return TimePoint(named->start + named->span);
}

}  // namespace history
