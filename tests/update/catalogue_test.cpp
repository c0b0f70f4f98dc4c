#include <gtest/gtest.h>

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "update/firmware_image.h"

namespace {

using simulation::Adapter;
using simulation::simulatedAdapter;

struct VariantCase {
    std::uint16_t productId;
    const char *serialNumber;
    int entry;  // 1-based catalogue entry; 0: not supported
};

void PrintTo(const VariantCase &c, std::ostream *os) { *os << c.productId << "/" << c.serialNumber; }

class FirmwareImageRule : public testing::TestWithParam<VariantCase> {};

TEST_P(FirmwareImageRule, PicksTheEntryForTheVariant)
{
    UsbDeviceInfo record;
    record.vendorId = 0x9999;  // the vendor is not consulted
    record.productId = GetParam().productId;
    record.serialNumber = GetParam().serialNumber;
    const FirmwareImage *entry = record.firmwareImage();
    if (GetParam().entry == 0)
        EXPECT_EQ(entry, nullptr);
    else
        EXPECT_EQ(entry, &firmwareCatalogue[GetParam().entry - 1]);
}

INSTANTIATE_TEST_SUITE_P(
    ProductIds, FirmwareImageRule,
    testing::Values(VariantCase{3, "", 1}, VariantCase{16, "x", 3}, VariantCase{6, "", 4}, VariantCase{5, "", 5},
                    VariantCase{4, "04020000", 2}, VariantCase{4, "0401FFFF", 0}, VariantCase{4, "0402", 0},
                    VariantCase{4, "", 0}, VariantCase{4, "1", 2}, VariantCase{4, "A0000000", 2},
                    VariantCase{4, "\xFF", 2},  // bytes compare unsigned
                    VariantCase{0, "", 0}, VariantCase{1, "", 0}, VariantCase{2, "", 0}, VariantCase{7, "", 0},
                    VariantCase{17, "", 0}));

class CreateDataLink : public BusFixture {};

TEST_F(CreateDataLink, FtdiForThreeAndFivePipesForTheRest)
{
    const struct {
        std::uint16_t productId;
        bool ftdi;
    } cases[] = {{3, true}, {5, true}, {4, false}, {6, false}, {16, false}, {99, false}};
    for (const auto [productId, expectFtdi] : cases) {
        SCOPED_TRACE(productId);
        Adapter &adapter = simulation::attach(bus, simulatedAdapter(productId, "S" + std::to_string(productId)));
        std::unique_ptr<HDataLink> link = recordOf(adapter).createDataLink();
        const bool ftdi = dynamic_cast<UsbdFtd2xxDataLink *>(link.get()) != nullptr;
        const bool pipes = dynamic_cast<UsbVantrelWinDataLink *>(link.get()) != nullptr;
        EXPECT_EQ(ftdi, expectFtdi);
        EXPECT_EQ(pipes, !ftdi);
        if (ftdi) {
            EXPECT_EQ(static_cast<UsbdFtd2xxDataLink &>(*link).requestIndex(), 1);
        }
    }
}

TEST_F(CreateDataLink, AFailedOpenThrowsTheLinksMessage)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(16, "HELD"));
    adapter.device().setBusy(true);
    EXPECT_EQ(messageOf([&] { recordOf(adapter).createDataLink(); }), "device already in use");
}

}  // namespace
