// Both link families over real overlapped Win32 pipe I/O, against the
// named-pipe stand-in for the adapter's driver.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "datalink/hexception.h"
#include "loader/loader_info.h"
#include "tests/platform/win32/pipe_link_bench.h"
#include "tests/support/loader_fixture.h"
#include "tests/support/message_of.h"

namespace {

constexpr std::uint8_t loaderInfoTag = 0xF7;  // the complement of the command code
constexpr std::int32_t loaderInfoReplySize = 77;

// What a read or write came to: the message it threw, or the count it returned.
template <typename Transfer>
std::string outcomeOf(Transfer transfer)
{
    std::string outcome;
    const std::string message = messageOf([&] { outcome = "returned " + std::to_string(transfer()); });
    return message == "(no exception)" ? outcome : message;
}

struct Family {
    const char *name;
    LinkFamily family;
    // How each family reports a read that timed out and requests that fail.
    const char *loaderTimeOut;
    const char *readTimeOut;
    const char *readFailure;
    const char *writeFailure;
};

const Family families[] = {
    {"UsbVantrelWinDataLink", LinkFamily::pipes, "read operation timed out", "read operation timed out",
     "read operation failed (I/O pending)", "write operation failed"},
    {"UsbdFtd2xxDataLink", LinkFamily::ftdi, "hardware error: target JTAG adapter data link read timed out",
     "returned -1", "returned -1", "returned -1"},
};

void PrintTo(const Family &family, std::ostream *out) { *out << family.name; }

class PipeLinks : public testing::TestWithParam<Family> {
protected:
    PipeLinkBench bench{GetParam().family};
};

TEST_P(PipeLinks, LoaderProtocolRunsEndToEnd)
{
    auto link = bench.openLink();
    link->setTimeout(10000);

    LoaderInfo info;
    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 0U) << "nothing installed yet";

    // Longer than one request, so that the image goes out in several writes.
    Bytes image = patternBytes(100000);
    const std::uint32_t magic = firmwareImageMagic;
    std::memcpy(image.data(), &magic, sizeof magic);
    image[20] = 4, image[21] = 0, image[22] = 9, image[23] = 0;

    link->connect(true);
    link->eraseMemory(PipeLinkBench::flashBase, PipeLinkBench::flashSize);
    link->writeMemory(PipeLinkBench::flashBase, static_cast<std::uint32_t>(image.size()), image.data());
    EXPECT_TRUE(link->verifyMemory(PipeLinkBench::flashBase, static_cast<std::uint32_t>(image.size()), image.data()));
    link->disconnect();

    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 1U);
    EXPECT_EQ(info.imageVersionMajor, 4);
    EXPECT_EQ(info.imageVersionMinor, 9);
    bench.standIn.withLoader([&](simulation::SimulatedLoader &loader, simulation::FtdiChip &) {
        EXPECT_EQ(std::memcmp(loader.flashAt(PipeLinkBench::flashBase), image.data(), image.size()), 0);
        EXPECT_FALSE(loader.connected());
    });
    EXPECT_EQ(bench.io.outstandingRequests(), 0);
}

TEST_P(PipeLinks, ReadThatNeverCompletesIsCancelledBeforeTheCallReturns)
{
    auto link = bench.openLink();
    bench.standIn.holdReplies();
    link->setTimeout(50);

    LoaderInfo info;
    EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }), GetParam().loaderTimeOut);
    EXPECT_EQ(bench.io.outstandingRequests(), 0);
    Bytes untouched(2, 0xAA);
    EXPECT_EQ(outcomeOf([&] { return link->read(untouched.data(), 2); }), GetParam().readTimeOut);
    EXPECT_EQ(bench.io.outstandingRequests(), 0);

    // Had either timed-out request been left in flight, it would now take
    // the late reply (into a buffer its caller gave up), and the read below
    // would not see it whole.
    bench.standIn.releaseReplies();
    link->setTimeout(5000);
    Bytes reply(loaderInfoReplySize);
    ASSERT_EQ(link->read(reply.data(), loaderInfoReplySize), loaderInfoReplySize);
    EXPECT_EQ(reply[0], loaderInfoTag);
    EXPECT_EQ(untouched, Bytes(2, 0xAA));

    link->getLoaderInfo(info);
    EXPECT_EQ(bench.io.outstandingRequests(), 0);
}

TEST_P(PipeLinks, RequestsOnADroppedConnectionFailAtOnceAndCloseCleanly)
{
    auto link = bench.openLink();
    link->setTimeout(5000);
    bench.standIn.disconnectHost();

    Bytes buffer(2, 0xAA);
    EXPECT_EQ(outcomeOf([&] { return link->read(buffer.data(), 2); }), GetParam().readFailure);
    EXPECT_EQ(outcomeOf([&] { return link->write(buffer.data(), 2); }), GetParam().writeFailure);
    EXPECT_EQ(bench.io.outstandingRequests(), 0);
    link.reset();
    EXPECT_EQ(bench.io.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, PipeLinks, testing::ValuesIn(families),
                         [](const testing::TestParamInfo<Family> &each) { return std::string(each.param.name); });

TEST(PipeLinksFtdi, APlainPipeRefusesTheDriversControlCodes)
{
    PipeLinkBench bench(LinkFamily::ftdi);
    // Straight to the system, which knows nothing of the adapter driver's codes.
    bench.io.answerControl(nullptr);
    EXPECT_EQ(messageOf([&] { bench.openLink(); }), "Cannot set reset on pipe");
    EXPECT_EQ(bench.io.openHandles(), 0);
}

}  // namespace
