// A server that goes away mid-shift and comes back: a station's entries wait
// in the spool meanwhile and reach the server in order, once. The test has a
// server of its own, since it stops it.

#include <cstdlib>

#include "tests/history/postgres_fixture.h"

using namespace history;

namespace {

int server(const char *action, const std::string &folder)
{
    return std::system(("bash " VANTREL_POSTGRES_SCRIPT " " + std::string(action) + " " + folder).c_str());
}

class PostgresOutage : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(server("start", folder()), 0); }
    static void TearDownTestSuite() { server("stop", folder()); }
    static std::string folder() { return VANTREL_POSTGRES_FOLDER "-outage"; }
};

}  // namespace

TEST_F(PostgresOutage, EntriesWaitWhileTheServerIsAwayAndArriveOnceInOrder)
{
    ServerDatabase database(folder());
    TemporaryFolder spool;
    // One station's history for the whole shift: its connection is lost
    // under it, not merely absent at the start.
    History station(parseLocation(database.url()), HistoryOptions{.spoolFile = spool / "spool.sqlite"});
    const HistoryEntry before = installed(1), away1 = installed(1), away2 = installed(1), back = installed(1);
    EXPECT_FALSE(station.append(before).spooled());

    ASSERT_EQ(server("halt", folder()), 0);
    const AppendResult first = station.append(away1);
    const AppendResult second = station.append(away2);
    ASSERT_TRUE(first.spooled() && second.spooled());
    EXPECT_EQ(first.spooledBecause->kind(), HistoryErrorKind::unreachable);
    EXPECT_EQ(second.waiting, 2u);
    EXPECT_THROW(station.drain(), HistoryError);
    EXPECT_EQ(station.waiting(), 2u);

    ASSERT_EQ(server("resume", folder()), 0);
    const AppendResult sent = station.append(back);
    EXPECT_FALSE(sent.spooled());
    EXPECT_EQ(sent.waiting, 0u);
    EXPECT_EQ(idsOf(station.query({})), idsOf({&before, &away1, &away2, &back}));
    EXPECT_EQ(database.sql("SELECT count(*) FROM vantrel_history"), "4");
}
