// An entry as the stores' columns: device text and times both ways, and a
// row that holds no entry.

#include "history/entry_fields.h"
#include "tests/history/history_fixture.h"

using namespace history;
using namespace std::chrono;

// Every byte comes back; what is stored is UTF-8 without a NUL, which every
// store takes as text.
TEST(EntryFields, DeviceTextKeepsEveryByte)
{
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte += static_cast<char>(byte);
    for (const std::string &text : {everyByte, std::string(3, '\0'), std::string("\xE2\x90\x80"), std::string()}) {
        const std::string stored = storedFromDevice(text);
        EXPECT_EQ(stored.find('\0'), std::string::npos);
        EXPECT_EQ(deviceFromStored(stored), text);
    }
    EXPECT_EQ(storedFromDevice(std::string("A\0\xB5", 3)), "A\xE2\x90\x80\xC2\xB5");
}

TEST(EntryFields, TimesAsTextBothWays)
{
    const TimePoint times[] = {
        TimePoint(sys_days(year(2025) / 5 / 20) + hours(13) + minutes(45) + seconds(12) + milliseconds(345)),
        TimePoint(sys_days(year(2024) / 2 / 29) + hours(23) + minutes(59) + seconds(59) + milliseconds(999)),
        TimePoint(sys_days(year(1969) / 12 / 31) + milliseconds(1)),
    };
    for (const TimePoint time : times)
        EXPECT_EQ(timeFromText(timeText(time)), time) << timeText(time);
    EXPECT_EQ(timeText(times[0]), "2025-05-20T13:45:12.345Z");

    for (const char *text : {"2025-05-20T13:45:12.345", "2025-05-20 13:45:12.345Z", "2025-02-30T13:45:12.345Z",
                             "2025-05-20T24:00:00.000Z", "2025-05-20T13:45:12.34xZ", "", "2025-05-20"})
        EXPECT_FALSE(timeFromText(text)) << text;
}

TEST(EntryFields, EntryIdsAreRandomUuids)
{
    const std::string id = newEntryId();
    EXPECT_TRUE(isEntryId(id)) << id;
    EXPECT_EQ(id[14], '4');  // version 4
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos);
    EXPECT_NE(newEntryId(), id);
    for (const char *bad : {"", "not-a-uuid", "0123456789abcdef0123456789abcdef0123", "g1234567-89ab-4def-8123-456789abcdef"})
        EXPECT_FALSE(isEntryId(bad)) << bad;
}

// A row that someone else wrote into the table is reported, not read as
// whatever it happens to hold.
TEST(EntryFields, ARowThatHoldsNoEntryIsDamage)
{
    const HistoryEntry entry = failedInstall(1);
    const std::vector<Field> good = fieldsOf(entry);
    EXPECT_EQ(entryOf(good), entry);

    struct Case {
        const char *name;
        std::size_t column;
        Field value;
    };
    const Case cases[] = {
        {"a time in another form", 1, std::string("yesterday")},
        {"no station", 3, Null{}},
        {"a number as text", 2, std::string("120")},
        {"a CRC beyond 32 bits", 12, std::int64_t{1} << 40},
        {"an offset beyond a day", 2, std::int64_t{100000}},
    };
    for (const Case &test : cases) {
        std::vector<Field> fields = good;
        fields[test.column] = test.value;
        try {
            entryOf(fields);
            ADD_FAILURE() << test.name;
        } catch (const HistoryError &error) {
            EXPECT_EQ(error.kind(), HistoryErrorKind::damaged) << test.name;
        }
    }
    EXPECT_THROW(entryOf(std::vector<Field>(good.begin(), good.end() - 1)), HistoryError);
}
