#include "datalink/ftdi_link.h"

#include <deque>

#include "tests/support/bus_fixture.h"

namespace {

using simulation::Adapter;
using simulation::AdapterConfig;

// An FTDI link whose raw reads play back scripted chunks, each taking 1 ms.
class ScriptedFtdiLink : public Ftd2xxDataLink {
public:
    explicit ScriptedFtdiLink(int selector = -1) : Ftd2xxDataLink(selector) {}

    std::deque<Bytes> rawChunks;
    int rawReads = 0;
    bool refuse = false;
    std::vector<std::array<int, 3>> requests;

    std::int32_t write(const std::uint8_t *, std::int32_t count) override { return count; }
    std::int32_t readRaw(std::uint8_t *buffer, std::int32_t count) override
    {
        ++rawReads;
        platform::clock().sleep(1);
        if (rawChunks.empty())
            return 2;  // the chip's status bytes alone
        Bytes chunk = rawChunks.front();
        rawChunks.pop_front();
        const auto n = std::min<std::int32_t>(count, static_cast<std::int32_t>(chunk.size()));
        std::copy_n(chunk.begin(), n, buffer);
        return chunk.size() == 1 && chunk[0] == 0xEE ? -1 : n;
    }
    bool vendorRequest(int request, int value, int index) override
    {
        requests.push_back({request, value, index});
        return !refuse;
    }
};

// `packets` of the chip: each two status bytes followed by payload.
Bytes framed(const std::vector<std::size_t> &packetSizes, std::uint8_t first = 0)
{
    Bytes raw;
    std::uint8_t next = first;
    for (std::size_t size : packetSizes) {
        for (std::size_t i = 0; i < size; ++i)
            raw.push_back(i < 2 ? 0x31 : next++);
    }
    return raw;
}

class FtdiRead : public VirtualClockFixture {
protected:
    ScriptedFtdiLink link;
};

struct DeframeCase {
    std::vector<std::size_t> packets;
    std::int32_t payload;
};

class FtdiDeframe : public FtdiRead, public testing::WithParamInterface<DeframeCase> {};

TEST_P(FtdiDeframe, DropsTwoStatusBytesFromEachPacket)
{
    link.rawChunks.push_back(framed(GetParam().packets));
    Bytes out(GetParam().payload + 10);
    link.setTimeout(0);
    EXPECT_EQ(link.read(out.data(), static_cast<std::int32_t>(out.size())), GetParam().payload);
    for (std::int32_t i = 0; i < GetParam().payload; ++i)
        ASSERT_EQ(out[i], static_cast<std::uint8_t>(i)) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, FtdiDeframe,
                         testing::Values(DeframeCase{{64, 64, 2}, 124},  // 130 raw bytes
                                         DeframeCase{{64, 2}, 62},       // 66
                                         DeframeCase{{64, 3}, 63},       // 67
                                         DeframeCase{{64, 1}, 62},
                                         DeframeCase{std::vector<std::size_t>(64, 64), 3968}));

TEST_F(FtdiRead, PayloadBeyondTheRequestIsKeptForTheNextRead)
{
    link.rawChunks.push_back(framed({12}));
    Bytes out(8);
    EXPECT_EQ(link.read(out.data(), 2), 2);
    EXPECT_EQ(link.bufferedCount(), 8);
    EXPECT_EQ(link.rawReads, 1);
    EXPECT_EQ(link.read(out.data(), 8), 8);
    EXPECT_EQ(link.rawReads, 1) << "served from the buffer";
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[7], 9);
}

TEST_F(FtdiRead, AReadOfNothingTakesNoPayloadAndNeedsNoBuffer)
{
    link.rawChunks.push_back(framed({12}));
    Bytes out(2);
    link.read(out.data(), 2);
    EXPECT_EQ(link.read(nullptr, 0), 0);
    EXPECT_EQ(link.bufferedCount(), 8);
    EXPECT_EQ(link.rawReads, 1);
}

TEST_F(FtdiRead, PurgeDropsBufferedPayload)
{
    link.rawChunks.push_back(framed({12}));
    link.rawChunks.push_back(framed({4}, 100));
    Bytes out(2);
    link.read(out.data(), 2);
    link.purge();
    EXPECT_EQ(link.bufferedCount(), 0);
    EXPECT_EQ(link.read(out.data(), 2), 2);
    EXPECT_EQ(out[0], 100) << "the read after a purge starts with a raw read";
    EXPECT_EQ(link.requests, (std::vector<std::array<int, 3>>{{0, 1, 1}, {0, 2, 1}}));
}

TEST_F(FtdiRead, StatusOnlyPacketsGiveAShortCountAfterTheTimeOut)
{
    link.setTimeout(1000);
    Bytes out(2);
    EXPECT_EQ(link.read(out.data(), 2), 0);
    EXPECT_GT(clock.nowMicroseconds(), 1'000'000);
    EXPECT_LE(clock.nowMicroseconds(), 1'002'000) << "a little more than the time-out";
}

TEST_F(FtdiRead, PayloadThatKeepsComingEndsTheReadOnceTheTimeOutHasPassed)
{
    link.setTimeout(100);
    // A byte of payload with every raw read, one a millisecond, for longer
    // than the time-out: the read ends with what it has, the byte of the raw
    // read that passed the time-out included.
    for (int i = 0; i < 150; ++i)
        link.rawChunks.push_back({0x31, 0x60, static_cast<std::uint8_t>(i)});
    Bytes out(1000);
    EXPECT_EQ(link.read(out.data(), 1000), 101);
    EXPECT_EQ(clock.nowMicroseconds(), 101'000);
    EXPECT_EQ(out[100], 100);
    EXPECT_EQ(link.read(out.data(), 2), 2) << "what came later is read next";
    EXPECT_EQ(out[0], 101);
}

TEST_F(FtdiRead, AFailedRawReadIsPassedOnEvenAfterSomeBytes)
{
    link.rawChunks.push_back(framed({4}));
    link.rawChunks.push_back({0xEE});
    Bytes out(4);
    EXPECT_EQ(link.read(out.data(), 4), -1);
}

TEST_F(FtdiRead, VendorRequestsCarryTheSelectorsIndex)
{
    link.setBitMode(0xFF, 0x02);
    link.setLatencyTimer(1);
    EXPECT_EQ(link.requests, (std::vector<std::array<int, 3>>{{11, 0x02FF, 1}, {9, 1, 1}}));
    for (auto [selector, index] : {std::pair{1, 2}, {2, 3}, {3, 4}, {0, 1}, {-1, 1}, {4, 1}})
        EXPECT_EQ(ScriptedFtdiLink(selector).requestIndex(), index) << selector;
}

TEST_F(FtdiRead, RefusedRequestsThrowTheirMessages)
{
    link.refuse = true;
    EXPECT_EQ(messageOf([&] { link.purge(); }), "cannot purge RX");
    EXPECT_EQ(messageOf([&] { link.setBitMode(1, 1); }), "cannot set bit mode");
    EXPECT_EQ(messageOf([&] { link.setLatencyTimer(1); }), "Cannot set latency timer");
    link.refuse = false;
    link.rawChunks.push_back(framed({12}));
    Bytes out(2);
    link.read(out.data(), 2);
    link.requests.clear();
    // Only the transmit purge is refused: the buffer is not emptied.
    struct RefuseSecond : ScriptedFtdiLink {
        bool vendorRequest(int request, int value, int index) override
        {
            ScriptedFtdiLink::vendorRequest(request, value, index);
            return value != 2;
        }
    } second;
    second.rawChunks.push_back(framed({12}));
    second.read(out.data(), 2);
    EXPECT_EQ(messageOf([&] { second.purge(); }), "cannot purge TX");
    EXPECT_EQ(second.bufferedCount(), 8);
}

// The concrete link over the virtual bus.
class FtdiLink : public BusFixture {
protected:
    Adapter &adapter = simulation::attach(bus, ftdiConfig());

    static AdapterConfig ftdiConfig()
    {
        AdapterConfig config;
        config.productId = 3;
        config.ftdi = true;
        return config;
    }
};

TEST_F(FtdiLink, ConstructionResetsSetsLatencyAndPurges)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), -1);
    EXPECT_EQ(link.firstTimeout(), 1000);
    EXPECT_EQ(adapter.chip()->latencyTimer(), 1);
    using Request = simulation::FtdiChip::VendorRequest;
    EXPECT_EQ(adapter.chip()->requests(), (std::vector<Request>{{9, 1, 1}, {0, 1, 1}, {0, 2, 1}}));
}

TEST_F(FtdiLink, RefusedVendorRequestsAreTriedTenTimesTenMillisecondsApart)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), 2);
    adapter.chip()->refuseRequests(-1);
    clock.clearSleeps();
    const std::size_t before = adapter.chip()->requests().size();
    EXPECT_FALSE(link.vendorRequest(0, 1, 3));
    EXPECT_EQ(adapter.chip()->requests().size() - before, 10U);
    EXPECT_EQ(clock.sleeps(), std::vector<std::uint32_t>(10, 10));

    adapter.chip()->refuseRequests(3);
    clock.clearSleeps();
    EXPECT_TRUE(link.vendorRequest(0, 1, 3));
    EXPECT_EQ(clock.sleeps().size(), 3U);
}

TEST_F(FtdiLink, SelectorTwoSendsIndexThree)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), 2);
    for (const auto &request : adapter.chip()->requests())
        EXPECT_EQ(request.index, 3);
}

struct FtdiOpenFailure {
    const char *name;
    std::function<void(ObservingBackend &, Adapter &)> arrange;
    std::string message;
};

void PrintTo(const FtdiOpenFailure &c, std::ostream *os) { *os << c.name; }

class FtdiOpen : public FtdiLink, public testing::WithParamInterface<FtdiOpenFailure> {};

TEST_P(FtdiOpen, FailuresReleaseEverything)
{
    GetParam().arrange(observer, adapter);
    EXPECT_EQ(messageOf([&] { UsbdFtd2xxDataLink link(recordOf(adapter), -1); }), GetParam().message);
    EXPECT_EQ(observer.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtdiOpen,
    testing::Values(
        FtdiOpenFailure{"Busy", [](auto &, auto &a) { a.device().setBusy(true); }, "device already in use"},
        FtdiOpenFailure{"Pipe01", [](auto &, auto &a) { a.device().failPipeOpen(platform::Pipe::out); },
                        "cannot open device driver"},
        FtdiOpenFailure{"OutEvent", [](auto &i, auto &) { i.failSlotCreation(2); },
                        "cannot create out overlapped event"},
        FtdiOpenFailure{"Reset", [](auto &, auto &a) { a.device().faults().resetRefused = true; },
                        "Cannot set reset on pipe"},
        FtdiOpenFailure{"Latency", [](auto &, auto &a) { a.chip()->refuseRequests(10); }, "Cannot set latency timer"},
        FtdiOpenFailure{"PurgeRx", [](auto &, auto &a) { a.chip()->refuseRequests(-1, 1); }, "cannot purge RX"},
        FtdiOpenFailure{"PurgeTx", [](auto &, auto &a) { a.chip()->refuseRequests(10, 2); }, "cannot purge TX"}),
    [](const testing::TestParamInfo<FtdiOpenFailure> &param) { return std::string(param.param.name); });

TEST_F(FtdiLink, IdleReadsTimeOutWithAShortCountAndNoOutstandingRequest)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), -1);
    link.setTimeout(50);
    std::uint8_t reply[2];
    EXPECT_EQ(link.read(reply, 2), 0);
    EXPECT_EQ(observer.outstandingRequests(), 0);
    EXPECT_GT(clock.nowMicroseconds(), 50'000);
}

TEST_F(FtdiLink, AChipThatTricklesEndsTheReadAtItsTimeOut)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), -1);
    link.setTimeout(60000);
    adapter.loader().receive(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5);
    // Each raw read takes 59 s and brings the status bytes and one byte of
    // the 77-byte reply: the second may wait only the second that is left,
    // and gets nothing in it.
    adapter.device().faults().maxCompletion = 3;
    adapter.device().faults().readDelay = 59000;
    const std::int64_t start = clock.nowMicroseconds();
    Bytes reply(77);
    EXPECT_EQ(link.read(reply.data(), 77), -1);
    EXPECT_EQ(clock.nowMicroseconds() - start, 60'000'000);
    EXPECT_EQ(reply[0], 0xF7);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

TEST_F(FtdiLink, WritesFailWithMinusOne)
{
    UsbdFtd2xxDataLink link(recordOf(adapter), -1);
    const Bytes data = patternBytes(70000);
    observer.clearRequestLog();
    EXPECT_EQ(link.write(data.data(), 70000), 70000);
    EXPECT_EQ(observer.requestLog(), (std::vector<std::pair<bool, std::uint32_t>>{{false, 65536}, {false, 4464}}));
    EXPECT_EQ(link.write(data.data(), 0), 0);
    adapter.device().faults().writeNotPending = 1;
    EXPECT_EQ(link.write(data.data(), 5), -1);
    adapter.device().faults().writesStall = true;
    link.setTimeout(10);
    EXPECT_EQ(link.write(data.data(), 5), -1);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

}  // namespace
