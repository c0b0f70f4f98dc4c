#include "datalink/data_link.h"

#include <gtest/gtest.h>

#include "datalink/hexception.h"

namespace {

class NullLink : public HDataLink {
public:
    std::int32_t read(std::uint8_t *, std::int32_t) override { return 0; }
    std::int32_t write(const std::uint8_t *, std::int32_t count) override { return count; }
};

// Counts how often the virtual setter is reached.
class CountingLink : public NullLink {
public:
    void setTimeouts(std::int32_t first, std::int32_t second) override
    {
        ++calls;
        HDataLink::setTimeouts(first, second);
    }
    int calls = 0;
};

TEST(DataLink, StartsWithOneSecondTimeOuts)
{
    NullLink link;
    EXPECT_EQ(link.firstTimeout(), 1000);
    EXPECT_EQ(link.secondTimeout(), 1000);
}

TEST(DataLink, SetTimeoutSetsBothThroughTheVirtualSetter)
{
    CountingLink link;
    HDataLink &base = link;
    base.setTimeout(5000);
    EXPECT_EQ(link.calls, 1);
    EXPECT_EQ(link.firstTimeout(), 5000);
    EXPECT_EQ(link.secondTimeout(), 5000);
}

TEST(DataLink, ReservedQueriesAnswerFalse)
{
    NullLink link;
    EXPECT_FALSE(link.reservedQuery1());
    EXPECT_FALSE(link.reservedQuery2());
    EXPECT_FALSE(link.reservedQuery3());
    EXPECT_FALSE(link.reservedQuery4());
}

TEST(HExceptionTest, PrefixingBuildsANewMessage)
{
    try {
        try {
            throw HException("memory erase failed");
        } catch (const HException &inner) {
            throw HException("Erase failed : " + inner.message());
        }
    } catch (const HException &outer) {
        EXPECT_EQ(outer.message(), "Erase failed : memory erase failed");
    }
    EXPECT_EQ(HException(static_cast<const char *>(nullptr)).message(), "");
}

}  // namespace
