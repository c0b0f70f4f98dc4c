// The loader protocol runs unchanged over both link families on the virtual bus.

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "loader/loader_info.h"
#include "tests/support/bus_fixture.h"

namespace {

using simulation::Adapter;
using simulation::AdapterConfig;

class LoaderOverLinks : public BusFixture, public testing::WithParamInterface<std::uint16_t> {
protected:
    std::unique_ptr<HDataLink> makeLink(const Adapter &adapter)
    {
        if (adapter.isFtdi())
            return std::make_unique<UsbdFtd2xxDataLink>(recordOf(adapter), -1);
        return std::make_unique<UsbVantrelWinDataLink>(recordOf(adapter));
    }
};

TEST_P(LoaderOverLinks, FullExchange)
{
    AdapterConfig config;
    config.productId = GetParam();
    config.ftdi = GetParam() == 3;
    config.imageAddress = 0x6000;
    Adapter &adapter = simulation::attach(bus, config);
    adapter.loader().setBusyReplies(2);
    auto link = makeLink(adapter);
    link->setTimeout(60000);

    LoaderInfo info;
    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 0U);

    const Bytes image = imageWithHeader(10000, 4, 9);
    link->connect(true);
    eraseAndWrite(*link, 0x6000, image);
    EXPECT_TRUE(link->verifyMemory(0x6000, 10000, image.data()));
    adapter.loader().corruptFlash(0x6000 + 5000, 0x10);
    EXPECT_FALSE(link->verifyMemory(0x6000, 10000, image.data()));
    link->disconnect();

    link->getLoaderInfo(info);
    EXPECT_EQ(info.words[1], 1U);
    EXPECT_EQ(info.imageVersionMajor, 4);
    EXPECT_EQ(info.imageVersionMinor, 9);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

TEST_P(LoaderOverLinks, NoReplyGivesTheReadTimeOutMessage)
{
    AdapterConfig config;
    config.productId = GetParam();
    config.ftdi = GetParam() == 3;
    Adapter &adapter = simulation::attach(bus, config);
    auto link = makeLink(adapter);
    link->setTimeout(60000);
    adapter.loader().injectFault(0x01, simulation::LoaderFault::noReply);
    const std::string expected = GetParam() == 3 ? "hardware error: target JTAG adapter data link read timed out"
                                                 : "read operation timed out";
    EXPECT_EQ(messageOf([&] { link->connect(true); }), expected);
    EXPECT_GE(clock.nowMicroseconds(), 60'000'000);
    EXPECT_EQ(observer.outstandingRequests(), 0);
}

INSTANTIATE_TEST_SUITE_P(ProductIds, LoaderOverLinks, testing::Values(3, 16),
                         [](const testing::TestParamInfo<std::uint16_t> &param) {
                             return param.param == 3 ? std::string("Ftdi") : std::string("Pipes");
                         });

}  // namespace
