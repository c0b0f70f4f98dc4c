// Opening a link when the driver or the system says no. Wine cannot make a
// pipe report the driver busy, fail to create an event or refuse the adapter
// driver's control codes, so those outcomes are injected at the seam; the
// rest of each case runs on the native backend, and every handle opened on
// the way must be closed again.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "platform/win32/device_io.h"
#include "tests/platform/win32/pipe_link_bench.h"
#include "tests/support/message_of.h"

namespace {

struct OpenCase {
    std::string name;
    LinkFamily family;
    std::function<void(PipeLinkBench &)> inject;
    const char *message;
};

void PrintTo(const OpenCase &openCase, std::ostream *out) { *out << openCase.name; }

void refuseVendorRequests(PipeLinkBench &bench, int count, int accepting)
{
    bench.standIn.withLoader(
        [&](simulation::SimulatedLoader &, simulation::FtdiChip &chip) { chip.refuseRequests(count, accepting); });
}

std::vector<OpenCase> openCases()
{
    std::vector<OpenCase> cases;
    // What both families share: opening the two pipes and their events.
    for (const auto &[prefix, family] : {std::pair{"Vantrel", LinkFamily::pipes}, std::pair{"Ftdi", LinkFamily::ftdi}}) {
        const std::string p = prefix;
        cases.push_back({p + "InPipeBusy", family,
                         [](PipeLinkBench &b) { b.io.injectOpen(platform::Pipe::in, platform::OpenOutcome::busy); },
                         "device already in use"});
        // PIPE00 is open for real by then and must be closed again.
        cases.push_back({p + "OutPipeBusy", family,
                         [](PipeLinkBench &b) { b.io.injectOpen(platform::Pipe::out, platform::OpenOutcome::busy); },
                         "device already in use"});
        cases.push_back({p + "OutPipeFails", family,
                         [](PipeLinkBench &b) { b.io.injectOpen(platform::Pipe::out, platform::OpenOutcome::failed); },
                         "cannot open device driver"});
        cases.push_back({p + "InEventFails", family, [](PipeLinkBench &b) { b.io.failSlotCreation(1); },
                         "cannot create in overlapped event"});
        cases.push_back({p + "OutEventFails", family, [](PipeLinkBench &b) { b.io.failSlotCreation(2); },
                         "cannot create out overlapped event"});
    }
    // The FTDI link's preparation of the chip, after both pipes are open.
    cases.push_back({"FtdiResetRefused", LinkFamily::ftdi,
                     [](PipeLinkBench &b) {
                         b.io.answerControl([](const ControlRequest &request) { return !request.resetPipe; });
                     },
                     "Cannot set reset on pipe"});
    cases.push_back({"FtdiLatencyTimerRefused", LinkFamily::ftdi,
                     [](PipeLinkBench &b) { refuseVendorRequests(b, -1, 0); }, "Cannot set latency timer"});
    cases.push_back({"FtdiPurgeRxRefused", LinkFamily::ftdi, [](PipeLinkBench &b) { refuseVendorRequests(b, 10, 1); },
                     "cannot purge RX"});
    cases.push_back({"FtdiPurgeTxRefused", LinkFamily::ftdi, [](PipeLinkBench &b) { refuseVendorRequests(b, 10, 2); },
                     "cannot purge TX"});
    return cases;
}

class InjectedOpenOutcomes : public testing::TestWithParam<OpenCase> {};

TEST_P(InjectedOpenOutcomes, GiveTheirMessageAndLeaveNothingOpen)
{
    PipeLinkBench bench(GetParam().family);
    GetParam().inject(bench);
    EXPECT_EQ(messageOf([&] { bench.openLink(); }), GetParam().message);
    EXPECT_EQ(bench.io.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, InjectedOpenOutcomes, testing::ValuesIn(openCases()),
                         [](const testing::TestParamInfo<OpenCase> &each) { return each.param.name; });

TEST(RealOpenOutcomes, AMissingDevicePathCannotBeOpened)
{
    for (LinkFamily family : {LinkFamily::pipes, LinkFamily::ftdi}) {
        SCOPED_TRACE(family == LinkFamily::ftdi ? "UsbdFtd2xxDataLink" : "UsbVantrelWinDataLink");
        PipeLinkBench bench(family);
        UsbDeviceInfo missing = bench.standIn.record();
        missing.devicePath += "-unplugged";
        const std::string message = messageOf([&] {
            if (family == LinkFamily::ftdi)
                UsbdFtd2xxDataLink link(missing, -1);
            else
                UsbVantrelWinDataLink link(missing);
        });
        EXPECT_EQ(message, "cannot open device driver");
        EXPECT_EQ(bench.io.openHandles(), 0);
    }
}

}  // namespace

namespace {

// The driver takes a vendor request as 0, request, value and index, each
// 32-bit little-endian.
TEST(Win32VendorRequestBlock, LaysOutRequestValueAndIndex)
{
    const std::array<std::uint8_t, 16> expected = {0, 0, 0, 0, 11, 0, 0, 0, 0xFF, 0x02, 0, 0, 0x01, 0, 0, 0};
    EXPECT_EQ(platform::vendorRequestBlock(11, 0x02FF, 1), expected);
    const std::array<std::uint8_t, 16> wide = {0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 4, 3, 2, 1};
    EXPECT_EQ(platform::vendorRequestBlock(0x12345678, 0xDEADBEEF, 0x01020304), wide);
}

}  // namespace
