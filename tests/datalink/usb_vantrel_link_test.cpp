#include "datalink/usb_vantrel_link.h"

#include <functional>

#include "loader/loader_info.h"

#include "tests/support/bus_fixture.h"

namespace {

using simulation::Adapter;

const std::uint8_t infoCommand[] = {0x08, 0x4D, 0x39, 0xEA, 0xF6};

class UsbLink : public BusFixture {
protected:
    Adapter &adapter = simulation::attach(bus, {});

    std::unique_ptr<UsbVantrelWinDataLink> open()
    {
        return std::make_unique<UsbVantrelWinDataLink>(recordOf(adapter));
    }
    // The loader's 77-byte information reply, waiting for the host.
    void replyWaiting(int replies = 1)
    {
        for (int i = 0; i < replies; ++i)
            adapter.loader().receive(infoCommand, sizeof infoCommand);
    }
};

TEST_F(UsbLink, ConstructionSetsTenSecondTimeOutsAndDropsWhatAnEarlierLinkLeftUnread)
{
    replyWaiting();
    auto link = open();
    EXPECT_EQ(link->firstTimeout(), 10000);
    EXPECT_EQ(link->secondTimeout(), 10000);
    EXPECT_EQ(observer.openHandles(), 4) << "two pipes, two events";
    EXPECT_EQ(adapter.loader().available(), 0U);
    link.reset();
    EXPECT_EQ(observer.openHandles(), 0);
}

TEST_F(UsbLink, PurgeDropsWhatIsWaitingAndWaitsOnlyWhileAReplyMayStillCome)
{
    auto link = open();
    link->setTimeout(60000);
    const struct {
        const char *what;
        bool commandSent;      // written after the last purge, its reply not read
        std::int64_t waited;   // microseconds
    } cases[] = {
        {"nothing sent since the link purged", false, 0},
        {"a command sent, its reply not read", true, std::int64_t{discardWaitMilliseconds} * 1000},
    };
    for (const auto &c : cases) {
        for (int waiting : {0, 1, 3}) {
            SCOPED_TRACE(std::string(c.what) + ", replies waiting: " + std::to_string(waiting));
            if (c.commandSent) {
                EXPECT_EQ(link->write(infoCommand, sizeof infoCommand), 5);
            }
            replyWaiting(waiting);
            const std::int64_t start = clock.nowMicroseconds();
            link->purge();
            EXPECT_EQ(adapter.loader().available(), 0U);
            EXPECT_EQ(clock.nowMicroseconds() - start, c.waited) << "never the link's time-out";
            EXPECT_EQ(observer.outstandingRequests(), 0);
        }
    }
    // The link is in step: the next reply read is the next command's.
    adapter.loader().receive(infoCommand, sizeof infoCommand);
    Bytes in(77);
    EXPECT_EQ(link->read(in.data(), 77), 77);
    EXPECT_EQ(in[0], 0xF7);
}

TEST_F(UsbLink, ANewLinkWaitsForWhatTheLastOneLeftOwedOrForTheRestOfAnotherProgramsBytes)
{
    const std::int64_t wait = std::int64_t{discardWaitMilliseconds} * 1000;
    const auto linkTo = [](Adapter &to) {
        auto link = std::make_unique<UsbVantrelWinDataLink>(recordOf(to));
        link->setTimeout(60000);
        return link;
    };
    // An answer that is still on its way when the link goes.
    const auto leaveUnanswered = [&](Adapter &to) {
        linkTo(to)->write(infoCommand, sizeof infoCommand);
        to.loader().discardOutput();
    };
    const struct {
        const char *what;
        std::function<void(Adapter &)> before;
        std::int64_t waited;  // by the new link's purge, in microseconds
    } cases[] = {
        {"no link to it before, nothing waiting", [](Adapter &) {}, 0},
        // Another program's exchange was under way: the rest of it may come.
        {"no link to it before, bytes waiting",
         [](Adapter &to) { to.loader().receive(infoCommand, sizeof infoCommand); }, wait},
        {"the last link read every reply",
         [&](Adapter &to) {
             LoaderInfo info;
             linkTo(to)->getLoaderInfo(info);
         },
         0},
        {"the last link left a command unanswered", leaveUnanswered, wait},
        // Off the bus and back: nothing it owed can come.
        {"the adapter rebooted since",
         [&](Adapter &to) {
             leaveUnanswered(to);
             forgetOwedReplies(owingDevice(recordOf(to)));
         },
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Adapter &fresh = simulation::attach(bus, {});
        c.before(fresh);
        const std::int64_t start = clock.nowMicroseconds();
        auto link = linkTo(fresh);
        EXPECT_EQ(clock.nowMicroseconds() - start, c.waited);
        EXPECT_EQ(fresh.loader().available(), 0U);
    }
}

TEST_F(UsbLink, PurgeOfADeviceThatKeepsSendingStopsAfterItsRounds)
{
    auto link = open();
    replyWaiting(2000);  // 154000 bytes
    const std::size_t before = adapter.loader().available();
    link->purge();
    EXPECT_EQ(before - adapter.loader().available(), std::size_t{discardMaxRounds} * discardChunkBytes);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

struct PurgeFault {
    const char *name;
    std::function<void(platform::VirtualBus &, Adapter &)> arrange;
};

void PrintTo(const PurgeFault &c, std::ostream *os) { *os << c.name; }

class UsbLinkPurgeFault : public UsbLink, public testing::WithParamInterface<PurgeFault> {};

TEST_P(UsbLinkPurgeFault, PurgeCannotFail)
{
    auto link = open();
    replyWaiting();
    GetParam().arrange(bus, adapter);
    EXPECT_EQ(messageOf([&] { link->purge(); }), "(no exception)");
    EXPECT_EQ(observer.outstandingRequests(), 0);
    EXPECT_EQ(observer.openHandles(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbLinkPurgeFault,
    testing::Values(PurgeFault{"ReadNotPending", [](auto &, auto &a) { a.device().faults().readNotPending = 1; }},
                    PurgeFault{"ReadNotFetchable", [](auto &, auto &a) { a.device().faults().readNotFetchable = 1; }},
                    PurgeFault{"Unplugged", [](auto &b, auto &a) { b.detach(a.device()); }}),
    [](const testing::TestParamInfo<PurgeFault> &param) { return std::string(param.param.name); });

struct OpenFailure {
    const char *name;
    std::function<void(ObservingBackend &, Adapter &, UsbDeviceInfo &)> arrange;
    std::string message;
    ErrorKind kind = ErrorKind::openFailed;
};

void PrintTo(const OpenFailure &c, std::ostream *os) { *os << c.name; }

class UsbLinkOpenFailure : public UsbLink, public testing::WithParamInterface<OpenFailure> {};

TEST_P(UsbLinkOpenFailure, ThrowsItsMessageAndLeavesNothingOpen)
{
    UsbDeviceInfo record = recordOf(adapter);
    GetParam().arrange(observer, adapter, record);
    const std::optional<HException> failure = exceptionOf([&] { UsbVantrelWinDataLink link(record); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message(), GetParam().message);
    EXPECT_STREQ(nameOf(failure->kind()), nameOf(GetParam().kind));
    EXPECT_EQ(observer.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbLinkOpenFailure,
    testing::Values(
        OpenFailure{"Busy", [](auto &, auto &a, auto &) { a.device().setBusy(true); }, "device already in use",
                    ErrorKind::deviceBusy},
        OpenFailure{"NoSuchPath", [](auto &, auto &, auto &r) { r.devicePath += "x"; }, "cannot open device driver"},
        OpenFailure{"Pipe01", [](auto &, auto &a, auto &) { a.device().failPipeOpen(platform::Pipe::out); },
                    "cannot open device driver"},
        OpenFailure{"InEvent", [](auto &i, auto &, auto &) { i.failSlotCreation(1); },
                    "cannot create in overlapped event"},
        OpenFailure{"OutEvent", [](auto &i, auto &, auto &) { i.failSlotCreation(2); },
                    "cannot create out overlapped event"},
        // A name that would not fit the 256-character pipe name is refused, not cut.
        OpenFailure{"PathTooLong", [](auto &, auto &, auto &r) { r.devicePath = std::string(249, 'p'); },
                    "cannot open device driver"}),
    [](const testing::TestParamInfo<OpenFailure> &param) { return std::string(param.param.name); });

TEST_F(UsbLink, AHeldPipeMakesASecondLinkBusy)
{
    auto first = open();
    EXPECT_EQ(messageOf([&] { open(); }), "device already in use");
    EXPECT_EQ(observer.openHandles(), 4);
}

TEST_F(UsbLink, APathThatJustFitsOpens)
{
    simulation::AdapterConfig config;
    config.serialNumber = "LONG";
    config.devicePath = std::string(248, 'p');  // + "\PIPE00" + zero = 256
    auto &longPath = simulation::attach(bus, config);
    EXPECT_NO_THROW(UsbVantrelWinDataLink link(recordOf(longPath)));
}

TEST_F(UsbLink, LongTransfersAreSplitAt65536Bytes)
{
    auto link = open();
    Bytes data = patternBytes(100000);
    observer.clearRequestLog();
    EXPECT_EQ(link->write(data.data(), 100000), 100000);
    EXPECT_EQ(observer.requestLog(), (std::vector<std::pair<bool, std::uint32_t>>{{false, 65536}, {false, 34464}}));

    // Reads likewise: feed the loader 100000 reply bytes through info commands.
    for (int i = 0; i < 1299; ++i)
        adapter.loader().receive(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5);
    ASSERT_GE(adapter.loader().available(), 100000U);
    observer.clearRequestLog();
    Bytes in(100000);
    EXPECT_EQ(link->read(in.data(), 100000), 100000);
    EXPECT_EQ(observer.requestLog(), (std::vector<std::pair<bool, std::uint32_t>>{{true, 65536}, {true, 34464}}));
}

TEST_F(UsbLink, ShortCompletionsAreContinued)
{
    auto link = open();
    adapter.device().faults().maxCompletion = 30;
    adapter.loader().receive(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5);
    observer.clearRequestLog();
    Bytes in(77);
    EXPECT_EQ(link->read(in.data(), 77), 77);
    EXPECT_EQ(observer.requestLog(),
              (std::vector<std::pair<bool, std::uint32_t>>{{true, 77}, {true, 47}, {true, 17}}));
    EXPECT_EQ(in[0], 0xF7);
}

TEST_F(UsbLink, ZeroByteTransfersIssueNoRequest)
{
    auto link = open();
    observer.clearRequestLog();
    EXPECT_EQ(link->write(nullptr, 0), 0);
    EXPECT_EQ(link->read(nullptr, 0), 0);
    EXPECT_TRUE(observer.requestLog().empty());
}

TEST_F(UsbLink, AReadWithNoAnswerTimesOutAfterTheTimeOutAndIsCancelled)
{
    auto link = open();
    link->setTimeout(60000);
    const std::int64_t start = clock.nowMicroseconds();
    const int cancelledBefore = observer.cancellations();
    std::uint8_t reply[2] = {0xAA, 0xAA};
    EXPECT_EQ(messageOf([&] { link->read(reply, 2); }), "read operation timed out");
    EXPECT_EQ(clock.nowMicroseconds() - start, 60'000'000);
    EXPECT_EQ(observer.outstandingRequests(), 0);
    EXPECT_EQ(observer.cancellations() - cancelledBefore, 1);
    // Late data does not land in the abandoned buffer; the link still works.
    adapter.loader().receive(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5);
    EXPECT_EQ(reply[0], 0xAA);
    Bytes in(77);
    EXPECT_EQ(link->read(in.data(), 77), 77);
}

// A device that moves one byte per request and takes 59 s for each: a
// transfer must still end at its time-out, counted from the start of the call.
struct Trickle {
    const char *name;
    bool reading;
    std::string message;
};

void PrintTo(const Trickle &c, std::ostream *os) { *os << c.name; }

class UsbLinkTrickle : public UsbLink, public testing::WithParamInterface<Trickle> {};

TEST_P(UsbLinkTrickle, EndsAtTheTimeOutFromTheStartOfTheCall)
{
    const Trickle &c = GetParam();
    auto link = open();
    link->setTimeout(60000);
    replyWaiting();
    adapter.device().faults().maxCompletion = 1;
    (c.reading ? adapter.device().faults().readDelay : adapter.device().faults().writeDelay) = 59000;
    const std::int64_t start = clock.nowMicroseconds();
    Bytes buffer(77);
    EXPECT_EQ(messageOf([&] { c.reading ? link->read(buffer.data(), 77) : link->write(buffer.data(), 77); }),
              c.message);
    EXPECT_EQ(clock.nowMicroseconds() - start, 60'000'000);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

INSTANTIATE_TEST_SUITE_P(Directions, UsbLinkTrickle,
                         testing::Values(Trickle{"Read", true, "read operation timed out"},
                                         Trickle{"Write", false, "write operation timed out"}),
                         [](const testing::TestParamInfo<Trickle> &param) { return std::string(param.param.name); });

struct TransferFailure {
    const char *name;
    bool reading;
    std::function<void(platform::RequestFaults &)> inject;
    std::string message;
    ErrorKind kind = ErrorKind::linkFailed;
};

void PrintTo(const TransferFailure &c, std::ostream *os) { *os << c.name; }

class UsbLinkTransferFailure : public UsbLink, public testing::WithParamInterface<TransferFailure> {};

TEST_P(UsbLinkTransferFailure, ThrowsItsMessageAndKeepsTheLinkOpen)
{
    const TransferFailure &c = GetParam();
    auto link = open();
    adapter.loader().receive(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5);
    c.inject(adapter.device().faults());
    Bytes buffer(77);
    const std::optional<HException> failure =
        exceptionOf([&] { c.reading ? link->read(buffer.data(), 77) : link->write(buffer.data(), 77); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message(), c.message);
    EXPECT_STREQ(nameOf(failure->kind()), nameOf(c.kind)) << "a transfer that breaks is the link's failure";
    EXPECT_EQ(observer.outstandingRequests(), 0);
    EXPECT_EQ(observer.openHandles(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbLinkTransferFailure,
    testing::Values(
        TransferFailure{"ReadNotPending", true, [](auto &f) { f.readNotPending = 1; },
                        "read operation failed (I/O pending)"},
        TransferFailure{"ReadNotFetchable", true, [](auto &f) { f.readNotFetchable = 1; },
                        "read operation failed (GetOverlappedResult)"},
        TransferFailure{"WriteNotPending", false, [](auto &f) { f.writeNotPending = 1; }, "write operation failed"},
        TransferFailure{"WriteNotFetchable", false, [](auto &f) { f.writeNotFetchable = 1; },
                        "write operation failed"},
        TransferFailure{"WriteStalls", false, [](auto &f) { f.writesStall = true; }, "write operation timed out"}),
    [](const testing::TestParamInfo<TransferFailure> &param) { return std::string(param.param.name); });

TEST_F(UsbLink, AnUnplugMidTransferFailsTheTransfer)
{
    auto link = open();
    adapter.device().unplugAfterBytes(100);
    const Bytes data = patternBytes(4096);
    EXPECT_EQ(messageOf([&] { link->write(data.data(), 4096); }), "write operation failed");
    EXPECT_EQ(messageOf([&] { link->write(data.data(), 1); }), "write operation failed");
    link.reset();
    EXPECT_EQ(observer.openHandles(), 0);
}

TEST_F(UsbLink, PacketCallsReturnCountsInsteadOfThrowing)
{
    auto link = open();
    link->setTimeout(5);
    std::uint8_t buffer[77];
    EXPECT_EQ(link->readPacket(buffer, 2), -1) << "nothing arrives: the request is cancelled";
    EXPECT_EQ(observer.outstandingRequests(), 0);
    EXPECT_EQ(link->writePacket(reinterpret_cast<const std::uint8_t *>("\x08\x4D\x39\xEA\xF6"), 5), 5);
    EXPECT_EQ(link->readPacket(buffer, 77), 77);
    adapter.device().faults().writeNotPending = 1;
    EXPECT_EQ(link->writePacket(buffer, 5), -1);
    EXPECT_EQ(link->reservedStatus(), 0);
}

}  // namespace
