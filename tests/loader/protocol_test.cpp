// The loader protocol against the simulated boot loader.

#include <cstring>
#include <functional>
#include <string>

#include "datalink/hexception.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "tests/support/loader_fixture.h"
#include "tests/support/message_of.h"

namespace {

using simulation::LoaderFault;
using Event = simulation::SimulatedLoaderLink::Event;

const std::string readTimedOut = "hardware error: target JTAG adapter data link read timed out";

class Protocol : public LoaderFixture {};

TEST_F(Protocol, CommandPacketsCarryCodeSignatureAndLittleEndianArguments)
{
    const Bytes data = patternBytes(4096);
    LoaderInfo info;
    link.getLoaderInfo(info);
    link.connect(true);
    link.eraseMemory(0x10000, 8192);
    link.writeMemory(0x10000, 4096, data.data());
    link.verifyMemory(0x10000, 4096, data.data());
    link.disconnect();

    const std::vector<Bytes> writes = link.writes();
    ASSERT_EQ(writes.size(), 7U);
    EXPECT_EQ(writes[0], (Bytes{0x08, 0x4D, 0x39, 0xEA, 0xF6}));
    EXPECT_EQ(writes[1], (Bytes{0x01, 0x4D, 0x39, 0xEA, 0xF6}));
    EXPECT_EQ(writes[2], (Bytes{0x05, 0x4D, 0x39, 0xEA, 0xF6, 0x00, 0x00, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00}));
    EXPECT_EQ(writes[3], (Bytes{0x03, 0x4D, 0x39, 0xEA, 0xF6, 0x00, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(writes[4], data) << "the data goes in a write call of its own";
    EXPECT_EQ(writes[5], (Bytes{0x07, 0x4D, 0x39, 0xEA, 0xF6, 0x00, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ(writes[6], (Bytes{0x02, 0x4D, 0x39, 0xEA, 0xF6}));
}

TEST_F(Protocol, WrittenFlashVerifiesAndAWriteWithoutEraseDoesNot)
{
    const Bytes data = patternBytes(4096);
    connected();
    link.eraseMemory(flashBase, 4096);
    link.writeMemory(flashBase, 4096, data.data());
    EXPECT_TRUE(link.verifyMemory(flashBase, 4096, data.data()));

    // Programming only clears bits: new data over old without an erase differs.
    const Bytes other = patternBytes(4096, 7);
    link.writeMemory(flashBase, 4096, other.data());
    EXPECT_FALSE(link.verifyMemory(flashBase, 4096, other.data()));
}

TEST_F(Protocol, CorruptedFlashIsAMismatchNotAnError)
{
    const Bytes data = patternBytes(256);
    connected();
    link.eraseMemory(flashBase, 256);
    link.writeMemory(flashBase, 256, data.data());
    loader.corruptFlash(flashBase + 100, 0x04);
    EXPECT_FALSE(link.verifyMemory(flashBase, 256, data.data()));
}

TEST_F(Protocol, VerifyLooksOnlyAtTheCrcInTheReply)
{
    // The loader answers tag F8 and status 0; only bytes 2 to 5 count.
    const Bytes data = patternBytes(64);
    connected();
    link.eraseMemory(flashBase, 64);
    link.writeMemory(flashBase, 64, data.data());
    loader.injectFault(0x07, LoaderFault::wrongTag);
    EXPECT_TRUE(link.verifyMemory(flashBase, 64, data.data()));
}

TEST_F(Protocol, VerifyOfNoBytesComparesWithZero)
{
    // The loader's CRC of an empty range is 0, as is the host's.
    EXPECT_TRUE(link.verifyMemory(flashBase, 0, nullptr));
    loader.injectFault(0x07, LoaderFault::wrongCrc);
    EXPECT_FALSE(link.verifyMemory(flashBase, 0, nullptr));
}

TEST_F(Protocol, NineBusyRepliesThenSuccessTakeTenPacketsAndNineWaits)
{
    loader.setBusyReplies(9);
    link.connect(true);

    EXPECT_EQ(loader.commandCount(0x01), 10);
    ASSERT_EQ(clock.sleeps().size(), 9U);
    for (std::uint32_t sleep : clock.sleeps())
        EXPECT_EQ(sleep, 1000U);
    EXPECT_GE(clock.nowMicroseconds(), 9'000'000);

    // Every packet is preceded by a purge.
    const auto &records = link.records();
    int packets = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].event != Event::write)
            continue;
        ++packets;
        ASSERT_GT(i, 0U);
        EXPECT_EQ(records[i - 1].event, Event::purge) << "packet " << packets;
    }
    EXPECT_EQ(packets, 10);
}

TEST_F(Protocol, TenBusyRepliesFailTheConnect)
{
    loader.setBusyReplies(10);
    EXPECT_EQ(messageOf([&] { link.connect(true); }), "connect failed");
    EXPECT_EQ(loader.commandCount(0x01), 10);
    EXPECT_EQ(clock.sleeps().size(), 9U);
}

TEST_F(Protocol, ConnectStatusZeroFailsAtOnce)
{
    loader.injectFault(0x01, LoaderFault::statusZero);
    EXPECT_EQ(messageOf([&] { link.connect(true); }), "connect failed");
    EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(Protocol, ConnectWithoutWaitingReadsNoReply)
{
    link.connect(false);
    EXPECT_EQ(loader.available(), 2U);
}

TEST_F(Protocol, DisconnectWithAWrongTagStillPurges)
{
    connected();
    loader.injectFault(0x02, LoaderFault::wrongTag);
    EXPECT_EQ(messageOf([&] { link.disconnect(); }), "disconnect failed, unexpected tag returned");
    EXPECT_EQ(link.records().back().event, Event::purge);
}

// Every failure message, from the fault that the loader injects.
struct FailureCase {
    const char *name;
    std::uint8_t command;
    LoaderFault fault;
    std::string message;
    ErrorKind kind;
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

class ProtocolFailure : public LoaderFixture, public testing::WithParamInterface<FailureCase> {
protected:
    void run(std::uint8_t command)
    {
        const Bytes data = patternBytes(512);
        LoaderInfo info;
        switch (command) {
        case 0x01: link.connect(true); break;
        case 0x02: link.disconnect(); break;
        case 0x03: link.writeMemory(flashBase, 512, data.data()); break;
        case 0x05: link.eraseMemory(flashBase, 512); break;
        case 0x07: link.verifyMemory(flashBase, 512, data.data()); break;
        case 0x08: link.getLoaderInfo(info); break;
        }
    }
};

TEST_P(ProtocolFailure, GivesItsMessageAndLeavesTheLinkUsable)
{
    const FailureCase &c = GetParam();
    if (c.command != 0x01)
        connected();
    loader.injectFault(c.command, c.fault, 1);
    const std::optional<HException> failure = exceptionOf([&] { run(c.command); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message(), c.message);
    EXPECT_STREQ(nameOf(failure->kind()), nameOf(c.kind));

    // The next connect purges whatever the failure left behind.
    link.connect(true);
    EXPECT_EQ(messageOf([&] { run(c.command); }), "(no exception)");
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ProtocolFailure,
    testing::Values(
        FailureCase{"ConnectNoReply", 0x01, LoaderFault::noReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"ConnectShort", 0x01, LoaderFault::shortReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"ConnectTag", 0x01, LoaderFault::wrongTag, "connect failed, unexpected tag returned", ErrorKind::connectFailed},
        FailureCase{"DisconnectNoReply", 0x02, LoaderFault::noReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"DisconnectTag", 0x02, LoaderFault::wrongTag, "disconnect failed, unexpected tag returned", ErrorKind::disconnectFailed},
        FailureCase{"DisconnectStatus", 0x02, LoaderFault::statusZero, "disconnect failed", ErrorKind::disconnectFailed},
        FailureCase{"InfoShort", 0x08, LoaderFault::shortReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"InfoTag", 0x08, LoaderFault::wrongTag, "get loader info failed, unexpected tag returned", ErrorKind::deviceError},
        FailureCase{"EraseNoReply", 0x05, LoaderFault::noReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"EraseTag", 0x05, LoaderFault::wrongTag, "memory erase failed, unexpected tag returned", ErrorKind::eraseFailed},
        FailureCase{"EraseStatus", 0x05, LoaderFault::statusZero, "memory erase failed", ErrorKind::eraseFailed},
        FailureCase{"WriteShort", 0x03, LoaderFault::shortReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"WriteTag", 0x03, LoaderFault::wrongTag, "memory write failed, unexpected tag returned", ErrorKind::writeFailed},
        FailureCase{"WriteStatus", 0x03, LoaderFault::statusZero, "memory write failed", ErrorKind::writeFailed},
        FailureCase{"VerifyNoReply", 0x07, LoaderFault::noReply, readTimedOut, ErrorKind::noReply},
        FailureCase{"VerifyShort", 0x07, LoaderFault::shortReply, readTimedOut, ErrorKind::noReply}),
    [](const testing::TestParamInfo<FailureCase> &param) { return std::string(param.param.name); });

TEST_F(Protocol, AShortWriteIsAWriteTimeout)
{
    for (std::int32_t limit : {0, 4, 12}) {
        SCOPED_TRACE(limit);
        link.setWriteLimit(limit);
        EXPECT_EQ(messageOf([&] { link.eraseMemory(flashBase, 16); }), "write timed out");
    }
    // The data of a write command counts too.
    const Bytes data = patternBytes(100);
    link.setWriteLimit(50);
    EXPECT_EQ(messageOf([&] { link.writeData(data.data(), 100); }), "write timed out");
}

TEST_F(Protocol, AReadTimeOutTakesTheLinksTimeOut)
{
    link.setTimeout(60000);
    loader.injectFault(0x08, LoaderFault::noReply);
    LoaderInfo info;
    EXPECT_EQ(messageOf([&] { link.getLoaderInfo(info); }), readTimedOut);
    EXPECT_EQ(clock.nowMicroseconds(), 60'000'000);
}

// A hand-made information reply, delivered by a link that plays it back.
class ReplayLink : public HDataLink {
public:
    explicit ReplayLink(Bytes reply) : reply_(std::move(reply)) {}
    std::int32_t read(std::uint8_t *buffer, std::int32_t count) override
    {
        const auto n = std::min<std::int32_t>(count, static_cast<std::int32_t>(reply_.size()));
        std::memcpy(buffer, reply_.data(), static_cast<std::size_t>(n));
        return n;
    }
    std::int32_t write(const std::uint8_t *, std::int32_t count) override { return count; }

private:
    Bytes reply_;
};

Bytes infoReply(std::uint8_t tag, std::size_t size = 77)
{
    Bytes reply(size, 0);
    reply[0] = tag;
    for (std::size_t i = 1; i < size; ++i)
        reply[i] = static_cast<std::uint8_t>(i);
    return reply;
}

TEST(LoaderInfoReply, FieldsAreReadLittleEndianFromThePayload)
{
    Bytes reply = infoReply(0xF7);
    // Header copy: major 2, minor 16, build text "Build: 1234".
    reply[1 + 32] = 2, reply[1 + 33] = 0, reply[1 + 34] = 16, reply[1 + 35] = 0;
    const char build[] = "Build: 1234";
    std::memcpy(reply.data() + 1 + 36, build, sizeof build);
    ReplayLink link(reply);
    LoaderInfo info;
    link.getLoaderInfo(info);

    EXPECT_EQ(info.loaderVersionMajor, 0x0201);
    EXPECT_EQ(info.loaderVersionMinor, 0x0403);
    EXPECT_EQ(info.words[0], 0x08070605U);
    EXPECT_EQ(info.words[1], 0x0C0B0A09U);
    EXPECT_EQ(info.words[6], 0x201F1E1DU);
    EXPECT_EQ(info.imageVersionMajor, 2);
    EXPECT_EQ(info.imageVersionMinor, 16);
    EXPECT_STREQ(info.imageDescription, "Build: 1234");
}

TEST(LoaderInfoReply, ABuildTextWithoutZeroFillsAllFortyCharacters)
{
    Bytes reply = infoReply(0xF7);
    std::memset(reply.data() + 1 + 36, 'x', 40);
    ReplayLink link(reply);
    LoaderInfo info;
    std::memset(info.imageDescription, 0x55, sizeof info.imageDescription);
    link.getLoaderInfo(info);
    EXPECT_EQ(std::string(info.imageDescription, 40), std::string(40, 'x'));
}

TEST(LoaderInfoReply, SizeAndTagAreChecked)
{
    LoaderInfo info;
    ReplayLink shortLink(infoReply(0xF7, 76));
    EXPECT_EQ(messageOf([&] { shortLink.getLoaderInfo(info); }), readTimedOut);
    ReplayLink wrongTag(infoReply(0xF8));
    EXPECT_EQ(messageOf([&] { wrongTag.getLoaderInfo(info); }),
              "get loader info failed, unexpected tag returned");
}

TEST_F(Protocol, LoaderInfoReportsTheImageInFlash)
{
    LoaderInfo info;
    link.getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 0U) << "erased flash holds no image";

    Bytes image = patternBytes(128);
    const std::uint32_t magic = firmwareImageMagic;
    std::memcpy(image.data(), &magic, 4);
    image[20] = 3, image[21] = 0, image[22] = 7, image[23] = 0;
    std::memcpy(image.data() + 24, "test image", 11);
    loader.loadImage(image.data(), image.size());
    link.getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 1U);
    EXPECT_EQ(info.words[2], firmwareImageMagic);
    EXPECT_EQ(info.imageVersionMajor, 3);
    EXPECT_EQ(info.imageVersionMinor, 7);
    EXPECT_STREQ(info.imageDescription, "test image");
}

}  // namespace
