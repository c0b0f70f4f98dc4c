#include "platform/libusb/device_io.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/platform/libusb/libusb_fixture.h"

namespace {

using platform::Handle;
using platform::OpenOutcome;
using platform::Pipe;

class LibusbDeviceIoTest : public LoaderParts, public LibusbFixture {
protected:
    EmulatedDevice &adapter = testbed.add({});

    Handle open(Pipe pipe, OpenOutcome expected = OpenOutcome::opened)
    {
        Handle handle = platform::invalidHandle;
        EXPECT_EQ(io.openPipe("usb:1-1", pipe, handle), expected) << (pipe == Pipe::in ? "in" : "out");
        EXPECT_EQ(handle == platform::invalidHandle, expected != OpenOutcome::opened);
        return handle;
    }
};

TEST_F(LibusbDeviceIoTest, OneClaimServesBothPipesAndIsReleasedWithTheLast)
{
    const Handle in = open(Pipe::in);
    const Handle out = open(Pipe::out);
    EXPECT_EQ(adapter.claims(), 1);
    io.close(in);
    EXPECT_EQ(adapter.claims(), 1);
    io.close(out);
    EXPECT_EQ(adapter.claims(), 0);
}

TEST_F(LibusbDeviceIoTest, APipeOpenInThisProcessIsBusyUntilItIsClosed)
{
    const Handle in = open(Pipe::in);
    const Handle out = open(Pipe::out);
    open(Pipe::in, OpenOutcome::busy);
    open(Pipe::out, OpenOutcome::busy);
    io.close(in);
    io.close(out);
    io.close(open(Pipe::in));
}

struct OpenCase {
    const char *name;
    std::function<void(EmulatedDevice &adapter, UsbTestbed &testbed)> arrange;
    std::string devicePath;
    OpenOutcome expected;
};

void PrintTo(const OpenCase &c, std::ostream *os) { *os << c.name; }

class LibusbOpenOutcome : public LibusbFixture, public testing::WithParamInterface<OpenCase> {};

TEST_P(LibusbOpenOutcome, MapsTheCauseOfAFailedOpen)
{
    EmulatedDevice &adapter = testbed.add({});
    GetParam().arrange(adapter, testbed);
    Handle pipe = platform::invalidHandle;
    OpenOutcome outcome;
    {
        WithoutFileModeOverride asAUser;
        outcome = io.openPipe(GetParam().devicePath, Pipe::in, pipe);
    }
    EXPECT_EQ(outcome, GetParam().expected);
    EXPECT_EQ(pipe, platform::invalidHandle);
    EXPECT_EQ(adapter.claims(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LibusbOpenOutcome,
    testing::Values(
        OpenCase{"ClaimedByAnotherProgram",
                 [](EmulatedDevice &adapter, UsbTestbed &) { adapter.setClaimedElsewhere(true); },
                 "usb:1-1", OpenOutcome::busy},
        OpenCase{"NodeWithoutPermission",
                 [](EmulatedDevice &adapter, UsbTestbed &) { adapter.denyAccess(); },
                 "usb:1-1", OpenOutcome::accessDenied},
        OpenCase{"NoSuchDevice", [](EmulatedDevice &, UsbTestbed &) {}, "usb:1-7",
                 OpenOutcome::failed},
        OpenCase{"NotOurPath", [](EmulatedDevice &, UsbTestbed &) {}, "1-1",
                 OpenOutcome::failed},
        OpenCase{"DeviceWithoutBulkPipes",
                 [](EmulatedDevice &, UsbTestbed &testbed) {
                     auto hub = EmulatedDevice::at("1-2", 3);
                     hub.bulkInterface = false;
                     testbed.add(hub);
                 },
                 "usb:1-2", OpenOutcome::failed}),
    [](const testing::TestParamInfo<OpenCase> &param) { return param.param.name; });

TEST_F(LibusbDeviceIoTest, AReadThatTimesOutIsCancelledAndLeavesNothingOutstanding)
{
    adapter.connect(&loaderPeer);
    const Handle in = open(Pipe::in);
    const Handle slot = io.createRequestSlot();
    std::uint8_t buffer[8];
    ASSERT_TRUE(io.startRead(in, slot, buffer, sizeof buffer));
    EXPECT_EQ(io.waitRequest(slot, 20), platform::WaitOutcome::timedOut);
    EXPECT_FALSE(io.requestResult(in, slot));
    io.cancelRequest(in, slot);
    EXPECT_EQ(adapter.outstandingTransfers(), 0);
    EXPECT_EQ(adapter.discardedTransfers(), 1);
    EXPECT_FALSE(io.requestResult(in, slot));

    // The pipes and the slot still work: a connect command gets its reply.
    const Handle out = open(Pipe::out);
    const std::uint8_t connect[5] = {0x01, 0x4D, 0x39, 0xEA, 0xF6};
    ASSERT_TRUE(io.startWrite(out, slot, connect, sizeof connect));
    ASSERT_EQ(io.waitRequest(slot, 1000), platform::WaitOutcome::completed);
    EXPECT_EQ(io.requestResult(out, slot), 5u);
    ASSERT_TRUE(io.startRead(in, slot, buffer, sizeof buffer));
    ASSERT_EQ(io.waitRequest(slot, 1000), platform::WaitOutcome::completed);
    EXPECT_EQ(io.requestResult(in, slot), 2u);
    EXPECT_EQ(buffer[0], 0xFE);
    EXPECT_EQ(buffer[1], 1);
    io.close(slot);
    io.close(in);
    io.close(out);
}

TEST_F(LibusbDeviceIoTest, RequestsGoOnlyToTheirOwnDirection)
{
    const Handle in = open(Pipe::in);
    const Handle out = open(Pipe::out);
    const Handle slot = io.createRequestSlot();
    std::uint8_t buffer[4] = {};
    EXPECT_FALSE(io.startRead(out, slot, buffer, sizeof buffer));
    EXPECT_FALSE(io.startWrite(in, slot, buffer, sizeof buffer));
    EXPECT_EQ(io.waitRequest(slot, 0), platform::WaitOutcome::timedOut);
    EXPECT_EQ(adapter.outstandingTransfers(), 0);
    io.close(slot);
    io.close(in);
    io.close(out);
}

TEST_F(LibusbDeviceIoTest, ResetPipeClearsTheHaltOfTheInEndpoint)
{
    const Handle in = open(Pipe::in);
    EXPECT_TRUE(io.resetPipe(in));
    EXPECT_EQ(adapter.clearedHalts(), (std::deque<std::uint8_t>{0x81}));
    io.close(in);
}

TEST_F(LibusbDeviceIoTest, AVendorRequestCarriesRequestValueAndIndex)
{
    adapter.connect(&ftdiPeer);
    const Handle in = open(Pipe::in);
    // A setup packet has room for 16 bits of value and index: the high bits
    // are not sent.
    EXPECT_TRUE(io.vendorRequest(in, 11, 0x102FF, 0x10001));
    adapter.locked([&] {
        ASSERT_EQ(chip.requests().size(), 1u);
        EXPECT_EQ(chip.requests()[0], (simulation::FtdiChip::VendorRequest{11, 0x02FF, 1}));
    });

    adapter.locked([&] { chip.refuseRequests(1); });
    EXPECT_FALSE(io.vendorRequest(in, 11, 0x02FF, 1));
    io.close(in);
}

TEST_F(LibusbDeviceIoTest, AnUnplugEndsTheTransferInFlightAndRefusesNewOnes)
{
    adapter.connect(&loaderPeer);
    const Handle in = open(Pipe::in);
    const Handle out = open(Pipe::out);
    const Handle slot = io.createRequestSlot();
    std::uint8_t buffer[8];
    adapter.unplugAtNextRead();
    ASSERT_TRUE(io.startRead(in, slot, buffer, sizeof buffer));
    EXPECT_EQ(io.waitRequest(slot, 1000), platform::WaitOutcome::completed);
    EXPECT_FALSE(io.requestResult(in, slot));
    EXPECT_FALSE(io.startWrite(out, slot, buffer, sizeof buffer));
    io.close(slot);
    io.close(in);
    io.close(out);

    adapter.unplug();
    open(Pipe::in, OpenOutcome::failed);
}

}  // namespace
