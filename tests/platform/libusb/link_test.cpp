// Both link families over the libusb backend, end to end: the record comes
// from enumeration, the link opens the emulated device, and the simulated
// boot loader answers behind its endpoints.

#include <gtest/gtest.h>

#include <chrono>

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "discovery/enumeration.h"
#include "tests/platform/libusb/libusb_fixture.h"
#include "tests/support/loader_fixture.h"
#include "tests/support/message_of.h"

namespace {

using simulation::FtdiChip;

constexpr std::uint16_t pipesProduct = 0x0010;
constexpr std::uint16_t ftdiProduct = 0x0003;
const char *const readTimedOut = "read operation timed out";
const char *const ftdiReadTimedOut = "hardware error: target JTAG adapter data link read timed out";

class LibusbLink : public LoaderParts,
                   public LibusbFixture,
                   public testing::WithParamInterface<std::uint16_t> {
protected:
    bool ftdi() const { return GetParam() == ftdiProduct; }

    EmulatedDevice &plugIn()
    {
        auto description = EmulatedDevice::at("1-1", 2);
        description.productId = GetParam();
        description.serial = "VT0000042";
        EmulatedDevice &device = testbed.add(description);
        device.connect(ftdi() ? static_cast<EndpointPeer *>(&ftdiPeer) : &loaderPeer);
        return device;
    }

    // The one record of the family that the poll would find.
    UsbDeviceInfo record()
    {
        const DeviceList family = filterDevices(enumerateDevices(0), 0x131B, -1);
        EXPECT_EQ(family.size(), 1u);
        return family.empty() ? UsbDeviceInfo{} : family.front();
    }

    std::unique_ptr<HDataLink> openLink(const UsbDeviceInfo &device)
    {
        std::unique_ptr<HDataLink> link;
        if (ftdi())
            link = std::make_unique<UsbdFtd2xxDataLink>(device, -1);
        else
            link = std::make_unique<UsbVantrelWinDataLink>(device);
        link->setTimeout(60000);
        return link;
    }
};

TEST_P(LibusbLink, InstallsAnImageThroughTheEmulatedAdapter)
{
    EmulatedDevice &adapter = plugIn();
    const UsbDeviceInfo device = record();
    EXPECT_EQ(device.serialNumber, "VT0000042");
    EXPECT_EQ(device.productId, GetParam());
    auto link = openLink(device);
    EXPECT_EQ(adapter.claims(), 1);

    LoaderInfo info;
    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 0U) << "no image yet";

    const Bytes image = imageWithHeader(10000, 4, 9);
    link->connect(true);
    eraseAndWrite(*link, 0x6000, image);
    EXPECT_TRUE(link->verifyMemory(0x6000, 10000, image.data()));
    link->disconnect();
    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 1U);
    EXPECT_EQ(info.imageVersionMajor, 4);
    EXPECT_EQ(info.imageVersionMinor, 9);

    if (ftdi()) {
        // Prepared at open: the IN pipe reset, a 1 ms latency timer, both
        // purges, all to the chip's first interface.
        EXPECT_EQ(adapter.clearedHalts(), (std::deque<std::uint8_t>{0x81}));
        adapter.locked([&] {
            EXPECT_EQ(chip.latencyTimer(), 1);
            const auto &requests = chip.requests();
            ASSERT_GE(requests.size(), 3u);
            EXPECT_EQ(requests[0], (FtdiChip::VendorRequest{9, 1, 1}));
            EXPECT_EQ(requests[1], (FtdiChip::VendorRequest{0, 1, 1}));
            EXPECT_EQ(requests[2], (FtdiChip::VendorRequest{0, 2, 1}));
        });
    }
    link.reset();
    EXPECT_EQ(adapter.claims(), 0);
    EXPECT_EQ(adapter.outstandingTransfers(), 0);
}

TEST_P(LibusbLink, AReadTimeOutCancelsItsTransferAndTheLinkGoesOn)
{
    EmulatedDevice &adapter = plugIn();
    auto link = openLink(record());
    link->setTimeout(50);
    adapter.locked([&] { loader.injectFault(0x01, simulation::LoaderFault::noReply, 1); });
    EXPECT_EQ(messageOf([&] { link->connect(true); }), ftdi() ? ftdiReadTimedOut : readTimedOut);
    EXPECT_EQ(adapter.outstandingTransfers(), 0);

    LoaderInfo info;
    EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }), "(no exception)");
}

TEST_P(LibusbLink, AnUnplugInTheMiddleOfAReadFailsItAndTheNextOpen)
{
    EmulatedDevice &adapter = plugIn();
    const UsbDeviceInfo device = record();
    auto link = openLink(device);
    adapter.unplugAtNextRead();
    LoaderInfo info;
    EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }),
              ftdi() ? ftdiReadTimedOut : "read operation failed (libusb transfer)");
    link.reset();
    EXPECT_EQ(adapter.outstandingTransfers(), 0);

    adapter.unplug();
    EXPECT_EQ(messageOf([&] { openLink(device); }), "cannot open device driver");
}

TEST_P(LibusbLink, ABusyOrForbiddenDeviceGivesItsMessage)
{
    EmulatedDevice &adapter = plugIn();
    const UsbDeviceInfo device = record();

    adapter.setClaimedElsewhere(true);
    EXPECT_EQ(messageOf([&] { openLink(device); }), "device already in use");
    adapter.setClaimedElsewhere(false);

    {
        auto first = openLink(device);
        EXPECT_EQ(messageOf([&] { openLink(device); }), "device already in use")
            << "a second link in this process";
    }

    adapter.denyAccess();
    {
        WithoutFileModeOverride asAUser;
        EXPECT_EQ(messageOf([&] { openLink(device); }),
                  "cannot open device driver (no permission: install the udev rules)");
    }
    EXPECT_EQ(adapter.claims(), 0);
}

// A bridge chip that has hung takes control requests and never answers them.
// The link tries each vendor request ten times, 10 ms apart; every try must
// give up within a few tens of milliseconds, or a poll that opens the
// adapter freezes the window for seconds.
class LibusbFtdiLink : public LibusbLink {};

TEST_P(LibusbFtdiLink, TenUnansweredVendorRequestsTakeWellUnderTheirOldTenSeconds)
{
    EmulatedDevice &adapter = plugIn();
    adapter.leaveControlRequestsUnanswered();
    const UsbDeviceInfo device = record();
    // The wait is libusb's own timer on the system clock, which no virtual
    // clock can stand in for; the bound is loose, far from both the 400 ms
    // expected and the 10 s of a one-second control time-out.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(messageOf([&] { openLink(device); }), "Cannot set latency timer");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(adapter.discardedControlRequests(), 10);
    EXPECT_EQ(adapter.outstandingTransfers(), 0);
    EXPECT_EQ(adapter.claims(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ftdi, LibusbFtdiLink, testing::Values(ftdiProduct));

INSTANTIATE_TEST_SUITE_P(ProductIds, LibusbLink, testing::Values(pipesProduct, ftdiProduct),
                         [](const testing::TestParamInfo<std::uint16_t> &param) {
                             return param.param == ftdiProduct ? std::string("Ftdi")
                                                               : std::string("Pipes");
                         });

}  // namespace
