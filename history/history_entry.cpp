#include "history/history_entry.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <random>

#include "history/history_error.h"

namespace history {

std::string newEntryId()
{
    // Drawn from the system's random source each time: a generator seeded
    // once would be copied into every forked process and repeat its ids.
    std::random_device source;
    std::array<unsigned char, 16> bytes;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const unsigned int word = source();
        for (std::size_t j = 0; j < 4; ++j)
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // the standard variant
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9],
                  bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

TimePoint timeNow()
{
    return std::chrono::floor<Milliseconds>(std::chrono::system_clock::now());
}

int localUtcOffsetMinutes(TimePoint time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &seconds) != 0)
        return 0;
    // The local clock's reading taken as UTC, less the UTC time.
    const std::time_t localAsUtc = _mkgmtime(&local);
    return static_cast<int>((localAsUtc - seconds) / 60);
#else
    if (!localtime_r(&seconds, &local))
        return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
#endif
}

const char *nameOf(HistoryErrorKind kind)
{
    switch (kind) {
    case HistoryErrorKind::locked: return "locked";
    case HistoryErrorKind::readOnly: return "read-only";
    case HistoryErrorKind::damaged: return "damaged";
    case HistoryErrorKind::newerSchema: return "newer-schema";
    case HistoryErrorKind::full: return "full";
    case HistoryErrorKind::malformedLocation: return "malformed-location";
    case HistoryErrorKind::loginRefused: return "login-refused";
    case HistoryErrorKind::unreachable: return "unreachable";
    case HistoryErrorKind::unsupported: return "unsupported";
    case HistoryErrorKind::failed: return "failed";
    }
    return "failed";
}

}  // namespace history
