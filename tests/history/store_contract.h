#pragma once

// What every store of the history does, whatever its engine: a typed test
// suite that each engine's tests instantiate with a Place, a type whose
// open() gives the test's store (a new, empty one for each test; the same
// one again on each call).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "history/history_store.h"
#include "tests/history/history_fixture.h"

template <typename Place>
class StoreContract : public testing::Test {
protected:
    Place place;
};

TYPED_TEST_SUITE_P(StoreContract);

// Every member comes back as it went, device text byte for byte: NUL,
// Latin-1 and every other byte of a serial number.
TYPED_TEST_P(StoreContract, KeepsEveryMember)
{
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte += static_cast<char>(byte);
    history::HistoryEntry full = failedInstall(1, everyByte);
    full.message = std::string("reply \0\x01\xFF\" end", 14);
    full.station = "Pr\xC3\xBC" "fplatz 3";  // UTF-8, as typed
    history::HistoryEntry done = installed(2);
    history::HistoryEntry bare = installed(3, "");
    bare.variant = bare.firmwareBefore = bare.firmwareAfter = bare.carriedVersion = std::nullopt;
    bare.imageCrc32 = std::nullopt;
    bare.utcOffsetMinutes = -330;
    bare.port = "";

    std::unique_ptr<history::HistoryStore> store = this->place.open();
    store->append(full);
    store->append(done);
    store->append(bare);
    EXPECT_EQ(this->place.open()->query({}), (std::vector{full, done, bare}));
}

// Entries come oldest first whatever order they came in, and each filter
// keeps what it names.
TYPED_TEST_P(StoreContract, FiltersAndOrder)
{
    history::HistoryEntry a = installed(1, "A");
    history::HistoryEntry b = failedInstall(2, "B");
    history::HistoryEntry c = failedInstall(3, "A");
    history::HistoryEntry d = installed(4, std::string("A\0", 2));
    a.station = c.station = "one";
    b.station = d.station = "two";
    std::unique_ptr<history::HistoryStore> store = this->place.open();
    for (const history::HistoryEntry *entry : {&c, &a, &d, &b})
        store->append(*entry);

    struct Case {
        const char *name;
        history::HistoryFilter filter;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"everything", {}, idsOf({&a, &b, &c, &d})},
        {"serial", {.serial = "A"}, idsOf({&a, &c})},
        {"serial with a NUL", {.serial = std::string("A\0", 2)}, idsOf({&d})},
        {"unknown serial", {.serial = "Z"}, {}},
        {"since, inclusive", {.since = b.time}, idsOf({&b, &c, &d})},
        {"until, exclusive", {.until = c.time}, idsOf({&a, &b})},
        {"since and until", {.since = b.time, .until = c.time}, idsOf({&b})},
        // The end of the last day a script can name, 9999-12-31: the year 10000.
        {"until the end of 9999",
         {.until = history::TimePoint(std::chrono::sys_days(std::chrono::year(10000) / 1 / 1))},
         idsOf({&a, &b, &c, &d})},
        {"outcome", {.outcome = "failed"}, idsOf({&b, &c})},
        {"station", {.station = "one"}, idsOf({&a, &c})},
        {"serial and outcome", {.serial = "A", .outcome = "failed"}, idsOf({&c})},
    };
    for (const Case &test : cases)
        EXPECT_EQ(idsOf(store->query(test.filter)), test.expected) << test.name;
}

// The same entry sent again (a spool's drain cut off before it could forget
// it) is kept once; entries of one time keep the order they came in.
TYPED_TEST_P(StoreContract, KeepsAnIdOnceAndTheOrderOfEqualTimes)
{
    history::HistoryEntry first = installed(1);
    history::HistoryEntry second = installed(1);
    history::HistoryEntry third = installed(1);
    std::unique_ptr<history::HistoryStore> store = this->place.open();
    store->append(first);
    store->append(first);
    store->appendAll({second, first, third, second});
    EXPECT_EQ(idsOf(store->query({})), idsOf({&first, &second, &third}));
}

REGISTER_TYPED_TEST_SUITE_P(StoreContract, KeepsEveryMember, FiltersAndOrder, KeepsAnIdOnceAndTheOrderOfEqualTimes);
