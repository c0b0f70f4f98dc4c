// The replay backend on its own: what it says when the program asks for
// something else, that it fails at once from then on, how the window's
// listings are matched, and the recorded time it lets pass.

#include "recording/session_replay.h"

#include <gtest/gtest.h>

#include <limits>

#include "loader/crc32.h"
#include "platform/stop_signals.h"
#include "platform/virtual/device_time.h"
#include "recording/byte_text.h"

namespace {

using recording::Exchange;
using recording::Operation;
using recording::SessionReplay;

Exchange exchange(Operation operation, std::uint32_t size = 0, std::int64_t elapsed = 0)
{
    Exchange e;
    e.operation = operation;
    e.pipe = 1;
    e.slot = 3;
    e.size = size;
    e.ok = true;
    e.elapsedMicroseconds = elapsed;
    return e;
}

std::shared_ptr<SessionReplay> replayOf(std::vector<Exchange> exchanges, bool polledListings = false)
{
    recording::Recording r;
    r.exchanges = std::move(exchanges);
    recording::ReplayOptions options;
    options.polledListings = polledListings;
    return SessionReplay::create(std::move(r), options);
}

const std::uint8_t thirteen[13] = {0x03, 0x4D, 0x39, 0xEA, 0xF6};

struct DivergenceCase {
    const char *name;
    Exchange recorded;
    std::function<void(platform::DeviceIo &)> ask;
    std::string message;
};

void PrintTo(const DivergenceCase &c, std::ostream *os) { *os << c.name; }

std::vector<DivergenceCase> divergenceCases()
{
    Exchange write13 = exchange(Operation::write, 13);
    write13.pipe = 2;
    write13.slot = 4;
    write13.crc = crc32(thirteen, 13) ^ 1;
    Exchange open = exchange(Operation::open);
    open.devicePath = "/dev/bus/usb/001/007";
    return {
        {"another_operation", exchange(Operation::read, 2),
         [](platform::DeviceIo &io) { io.startWrite(2, 4, thirteen, 13); },
         "replay diverged at exchange 1: recorded a read of 2 bytes, asked for a write of 13 bytes"},
        {"another_size", exchange(Operation::read, 2),
         [](platform::DeviceIo &io) {
             std::uint8_t buffer[77];
             io.startRead(1, 3, buffer, 77);
         },
         "replay diverged at exchange 1: recorded a read of 2 bytes, asked for a read of 77 bytes"},
        {"another_pipe", exchange(Operation::read, 2),
         [](platform::DeviceIo &io) {
             std::uint8_t buffer[2];
             io.startRead(2, 3, buffer, 2);
         },
         "replay diverged at exchange 1: recorded a read of 2 bytes on pipe 1, slot 3, asked for a read of 2 bytes "
         "on pipe 2, slot 3"},
        {"another_crc", write13, [](platform::DeviceIo &io) { io.startWrite(2, 4, thirteen, 13); },
         "replay diverged at exchange 1: recorded a write of 13 bytes with CRC-32 " + recording::crcText(write13.crc) +
             " on pipe 2, slot 4, asked for a write of 13 bytes with CRC-32 " + recording::crcText(crc32(thirteen, 13)) +
             " on pipe 2, slot 4"},
        {"another_device", open,
         [](platform::DeviceIo &io) {
             platform::Handle handle = 0;
             io.openPipe("/dev/bus/usb/001/008", platform::Pipe::in, handle);
         },
         "replay diverged at exchange 1: recorded an open of the in pipe of /dev/bus/usb/001/007, asked for an open "
         "of the in pipe of /dev/bus/usb/001/008"},
        {"another_slot", exchange(Operation::wait),
         [](platform::DeviceIo &io) { io.waitRequest(4, 0); },
         "replay diverged at exchange 1: recorded a wait on slot 3, asked for a wait on slot 4"},
    };
}

class Divergences : public testing::TestWithParam<DivergenceCase> {};

TEST_P(Divergences, NameTheExchangeWhatWasRecordedAndWhatWasAsked)
{
    const DivergenceCase &c = GetParam();
    const auto replay = replayOf({c.recorded});
    std::vector<std::string> observed;
    replay->onDivergence([&](const std::string &message) { observed.push_back(message); });
    c.ask(*replay);
    EXPECT_EQ(replay->divergence(), c.message);
    EXPECT_EQ(replay->verdict(), c.message);
    EXPECT_EQ(observed, std::vector<std::string>{c.message});
}

INSTANTIATE_TEST_SUITE_P(Each, Divergences, testing::ValuesIn(divergenceCases()),
                         [](const testing::TestParamInfo<DivergenceCase> &param) { return std::string(param.param.name); });

TEST(ReplayedWaits, MayAskAnotherTimeOutThanRecorded)
{
    // What is left of a program's time-out depends on where in a millisecond
    // its clock stood, which a replay need not match: the wait is the same
    // request, answered as recorded.
    Exchange timedOut = exchange(Operation::wait);
    timedOut.timeoutMilliseconds = 59999;
    timedOut.ok = false;
    const auto replay = replayOf({exchange(Operation::wait), timedOut});
    EXPECT_EQ(replay->waitRequest(3, 1000), platform::WaitOutcome::completed);
    EXPECT_EQ(replay->waitRequest(3, 60000), platform::WaitOutcome::timedOut);
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

TEST(ReplayEnds, AskingBeyondTheRecordingOrLessThanItIsADivergence)
{
    const auto beyond = replayOf({exchange(Operation::slot)});
    beyond->createRequestSlot();
    EXPECT_EQ(beyond->verdict(), std::nullopt);
    beyond->resetPipe(1);
    EXPECT_EQ(beyond->verdict(), "replay diverged at exchange 2: recorded nothing more, asked for a reset of pipe 1");

    const auto less = replayOf({exchange(Operation::slot), exchange(Operation::cancel)});
    less->createRequestSlot();
    EXPECT_EQ(less->divergence(), std::nullopt);
    EXPECT_EQ(less->verdict(), "replay diverged at exchange 2: recorded a cancel on slot 3, asked for nothing more");
}

// Where the recorded program acted on a stop between two calls, its replay
// gives the stop there: not before, and from then on in that lane. (The
// stop is the process's own: each test runs in a process of its own.)
TEST(ReplayedStops, ComeWhereTheRecordedProgramActedOnThem)
{
    Exchange stop = exchange(Operation::stop);
    stop.stopSignal = 15;
    const auto replay = replayOf({exchange(Operation::slot), stop, exchange(Operation::cancel)});
    EXPECT_EQ(replay->stopHere(0), 0);
    replay->createRequestSlot();
    EXPECT_EQ(replay->stopHere(0), 15);
    EXPECT_EQ(platform::stopRequest(), 15);
    EXPECT_EQ(replay->stopHere(15), 15);
    replay->cancelRequest(1, 3);
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

TEST(ReplayedStops, ADeviceCallWhereTheProgramStoppedDiverges)
{
    Exchange stop = exchange(Operation::stop);
    stop.stopSignal = 2;
    const auto replay = replayOf({exchange(Operation::slot), stop});
    replay->createRequestSlot();
    replay->resetPipe(1);
    EXPECT_EQ(replay->divergence(),
              "replay diverged at exchange 2: recorded the stop the user asked for, asked for a reset of pipe 1");
    EXPECT_EQ(platform::stopRequest(), 0);
}

TEST(ReplayAfterADivergence, FailsEveryCallAtOnce)
{
    Exchange listing = exchange(Operation::list);
    listing.entries.resize(1);
    const auto replay = replayOf({exchange(Operation::read, 2), listing, exchange(Operation::wait),
                                  exchange(Operation::reset), exchange(Operation::vendor)});
    std::uint8_t buffer[4] = {};
    EXPECT_FALSE(replay->startRead(1, 3, buffer, 4));
    const std::string first = replay->divergence().value();

    const std::int64_t before = platform::microsecondsNow(replay->clock());
    EXPECT_TRUE(replay->listDevices(platform::DeviceClass::usbDevice).empty());
    platform::Handle handle = 7;
    EXPECT_EQ(replay->openPipe("p", platform::Pipe::in, handle), platform::OpenOutcome::failed);
    EXPECT_EQ(handle, 7u);
    EXPECT_EQ(replay->createRequestSlot(), platform::invalidHandle);
    EXPECT_FALSE(replay->startWrite(2, 4, thirteen, 13));
    EXPECT_EQ(replay->waitRequest(3, 60000), platform::WaitOutcome::timedOut);
    EXPECT_EQ(replay->requestResult(1, 3), std::nullopt);
    replay->cancelRequest(1, 3);
    EXPECT_FALSE(replay->resetPipe(1));
    EXPECT_FALSE(replay->vendorRequest(1, 0, 1, 1));
    replay->close(1);
    // No time passed, and the first divergence is the one reported.
    EXPECT_EQ(platform::microsecondsNow(replay->clock()), before);
    EXPECT_EQ(replay->divergence(), first);
}

TEST(ReplayAnswers, AreTheRecordedOutcomesAndData)
{
    Exchange open = exchange(Operation::open);
    open.devicePath = "p";
    open.handle = 5;
    Exchange busy = open;
    busy.outcome = platform::OpenOutcome::busy;
    Exchange noSlot = exchange(Operation::slot);
    Exchange read = exchange(Operation::read, 4);
    Exchange timedOut = exchange(Operation::wait);
    timedOut.ok = false;
    Exchange cancel = exchange(Operation::cancel);
    Exchange result = exchange(Operation::result);
    result.bytes = 2;
    result.data = {0xFE, 0x80};
    const auto replay = replayOf({open, busy, noSlot, read, timedOut, cancel, result});

    platform::Handle handle = 0;
    EXPECT_EQ(replay->openPipe("p", platform::Pipe::in, handle), platform::OpenOutcome::opened);
    EXPECT_EQ(handle, 5u);
    EXPECT_EQ(replay->openPipe("p", platform::Pipe::in, handle), platform::OpenOutcome::busy);
    EXPECT_EQ(replay->createRequestSlot(), platform::invalidHandle);
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_TRUE(replay->startRead(1, 3, buffer, 4));
    EXPECT_EQ(replay->waitRequest(3, 0), platform::WaitOutcome::timedOut);
    replay->cancelRequest(1, 3);
    // A request that completed as it was cancelled still hands over its data.
    EXPECT_EQ(replay->requestResult(1, 3), 2u);
    EXPECT_EQ(buffer[0], 0xFE);
    EXPECT_EQ(buffer[1], 0x80);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

// What a result counts against what the replay put in the program's buffer:
// the program reads as many bytes as it is told, so a count beyond them
// would hand it whatever the buffer held.
struct ResultCase {
    const char *name;
    bool read;  // false: the request on the slot was a write
    std::uint32_t size;
    std::optional<std::uint32_t> bytes;
    std::vector<std::uint8_t> data;
    std::optional<std::uint32_t> counted;
    std::vector<std::uint8_t> buffer;  // after the result, from 0xAA each
};

void PrintTo(const ResultCase &c, std::ostream *os) { *os << c.name; }

class ResultCounts : public testing::TestWithParam<ResultCase> {};

TEST_P(ResultCounts, NeverExceedTheBytesHandedOver)
{
    const ResultCase &c = GetParam();
    Exchange start = exchange(c.read ? Operation::read : Operation::write, c.size);
    start.crc = crc32(thirteen, c.size);
    Exchange result = exchange(Operation::result);
    result.bytes = c.bytes;
    result.data = c.data;
    const auto replay = replayOf({start, result});
    // Exactly the size asked for, so that a copy beyond it shows in the sanitizer build.
    std::vector<std::uint8_t> buffer(c.size, 0xAA);
    ASSERT_TRUE(c.read ? replay->startRead(1, 3, buffer.data(), c.size) : replay->startWrite(1, 3, thirteen, c.size));
    EXPECT_EQ(replay->requestResult(1, 3), c.counted);
    if (c.read) {
        EXPECT_EQ(buffer, c.buffer);
    }
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Each, ResultCounts,
    testing::Values(ResultCase{"as_recorded", true, 4, 2, {0xFE, 0x80}, 2, {0xFE, 0x80, 0xAA, 0xAA}},
                    ResultCase{"data_short_of_bytes", true, 4, 3, {0xFE, 0x80}, 2, {0xFE, 0x80, 0xAA, 0xAA}},
                    ResultCase{"no_data", true, 4, 2, {}, 0, {0xAA, 0xAA, 0xAA, 0xAA}},
                    ResultCase{"more_than_the_buffer", true, 2, 4, {0xFE, 0x80, 0x01, 0x02}, 2, {0xFE, 0x80}},
                    ResultCase{"not_fetchable", true, 2, std::nullopt, {}, std::nullopt, {0xAA, 0xAA}},
                    ResultCase{"of_a_write", false, 13, 13, {}, 13, {}}),
    [](const testing::TestParamInfo<ResultCase> &param) { return std::string(param.param.name); });

TEST(ReplayTime, HoldsAtTheClocksEndInsteadOfOverflowing)
{
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    const auto replay = replayOf({exchange(Operation::slot, 0, 5), exchange(Operation::slot, 0, largest),
                                  exchange(Operation::slot, 0, largest)});
    for (const std::int64_t expected : {std::int64_t{5}, largest, largest}) {
        replay->createRequestSlot();
        EXPECT_EQ(platform::microsecondsNow(replay->clock()), expected);
    }
    EXPECT_EQ(replay->verdict(), std::nullopt);
}

TEST(ReplayTime, PassesAsRecordedButNotTwiceForTheProgramsOwnWaits)
{
    const auto replay = replayOf({exchange(Operation::slot, 0, 1500), exchange(Operation::slot, 0, 1'000'000),
                                  exchange(Operation::slot, 0, 250)});
    platform::Clock &clock = replay->clock();
    replay->createRequestSlot();
    EXPECT_EQ(platform::microsecondsNow(clock), 1500);
    // The program slept 600 ms of the recorded second itself.
    clock.sleep(600);
    replay->createRequestSlot();
    EXPECT_EQ(platform::microsecondsNow(clock), 1'001'500);
    // And slept longer than was recorded: nothing more passes.
    clock.sleep(1);
    replay->createRequestSlot();
    EXPECT_EQ(platform::microsecondsNow(clock), 1'002'500);
}

// --- the window's listings ---------------------------------------------------------

Exchange listingOf(const char *serial)
{
    Exchange listing = exchange(Operation::list);
    platform::DeviceEntry entry;
    entry.identity = platform::UsbIdentity{0x131B, 16, serial};
    listing.entries = {entry};
    return listing;
}

std::string serialListed(SessionReplay &replay)
{
    const std::vector<platform::DeviceEntry> entries = replay.listDevices(platform::DeviceClass::usbDevice);
    return entries.empty() ? "(none)" : entries[0].identity->serialNumber;
}

TEST(PolledListings, RepeatTheLatestAndPassOverThoseTheProgramSkips)
{
    const std::vector<Exchange> recorded = {listingOf("A"), exchange(Operation::reset), listingOf("B"),
                                            listingOf("C"), exchange(Operation::reset), listingOf("D")};
    const auto window = replayOf(recorded, true);
    EXPECT_EQ(serialListed(*window), "A");
    EXPECT_EQ(serialListed(*window), "A");  // polled again before the reset
    EXPECT_TRUE(window->resetPipe(1));
    EXPECT_EQ(serialListed(*window), "B");
    EXPECT_TRUE(window->resetPipe(1));  // C passed over
    EXPECT_EQ(serialListed(*window), "D");
    EXPECT_EQ(serialListed(*window), "D");  // after the end too
    EXPECT_EQ(window->verdict(), std::nullopt);

    // Left-over listings are no divergence for the window either.
    const auto early = replayOf(recorded, true);
    EXPECT_EQ(serialListed(*early), "A");
    EXPECT_TRUE(early->resetPipe(1));
    EXPECT_TRUE(early->resetPipe(1));
    EXPECT_EQ(early->verdict(), std::nullopt);

    // Everything else stays exact, and the tool's replay takes listings in order.
    const auto tool = replayOf(recorded);
    EXPECT_EQ(serialListed(*tool), "A");
    EXPECT_EQ(serialListed(*tool), "(none)");
    EXPECT_EQ(tool->divergence(),
              "replay diverged at exchange 2: recorded a reset of pipe 1, asked for a listing of USB devices");
}

}  // namespace
