// The times a user gives a query, as the first moment and the moment after
// the last that they name.

#include <cstdlib>
#include <ctime>

#include "history/entry_fields.h"
#include "history/time_bounds.h"
#include "tests/history/history_fixture.h"

using namespace history;

TEST(TimeBounds, ExplicitZonesAndTheSpanNamed)
{
    struct Case {
        const char *text;
        const char *since;
        const char *until;
    };
    const Case cases[] = {
        {"2025-05-20Z", "2025-05-20T00:00:00.000Z", "2025-05-21T00:00:00.000Z"},
        {"2025-05-20T13:45Z", "2025-05-20T13:45:00.000Z", "2025-05-20T13:46:00.000Z"},
        {"2025-05-20 13:45:12Z", "2025-05-20T13:45:12.000Z", "2025-05-20T13:45:13.000Z"},
        {"2025-05-20T13:45:12+02:00", "2025-05-20T11:45:12.000Z", "2025-05-20T11:45:13.000Z"},
        {"2024-12-31T23:30-01:30", "2025-01-01T01:00:00.000Z", "2025-01-01T01:01:00.000Z"},
    };
    for (const Case &test : cases) {
        ASSERT_TRUE(parseSince(test.text)) << test.text;
        EXPECT_EQ(timeText(*parseSince(test.text)), test.since) << test.text;
        EXPECT_EQ(timeText(*parseUntil(test.text)), test.until) << test.text;
    }
    for (const char *bad : {"", "2025-5-20", "20250520", "2025-13-01", "2025-02-30", "2025-05-20T24:00",
                            "2025-05-20 13", "2025-05-20T13:45+2", "2025-05-20T13:45:60", "2025-05-20 extra",
                            "yesterday"}) {
        EXPECT_FALSE(parseSince(bad)) << bad;
        EXPECT_FALSE(parseUntil(bad)) << bad;
    }
}

#ifndef _WIN32
// A local day that summer time shortens is 23 hours long.
TEST(TimeBounds, LocalDaysFollowSummerTime)
{
    const char *old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    const std::optional<TimePoint> since = parseSince("2025-03-30"), until = parseUntil("2025-03-30");
    const std::optional<TimePoint> noon = parseSince("2025-06-01T12:00");
    old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    ASSERT_TRUE(since && until && noon);
    EXPECT_EQ(timeText(*since), "2025-03-29T23:00:00.000Z");
    EXPECT_EQ(*until - *since, std::chrono::hours(23));
    EXPECT_EQ(timeText(*noon), "2025-06-01T10:00:00.000Z");
}
#endif
