// Everything that differs between variants comes from the rows of one table:
// a table with a sixth row gets its image, its link and its simulated
// adapter without any other change.

#include <gtest/gtest.h>

#include <vector>

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "update/variant.h"

namespace {

const Bytes probeBytes = imageWithHeader(20000, 3, 1);
const char probeNotes[] = "3.1: the first release\n\n";
const FirmwareImage probeImage = {"Vantrel Probe", 0x44000, probeBytes.data(), 20000, probeNotes,
                                  sizeof probeNotes - 1, false};

// The carried rows and one more, as a sixth line of update/variants.def would give.
std::vector<Variant> carriedRowsAndAProbe()
{
    std::vector<Variant> rows(carriedVariants().rows().begin(), carriedVariants().rows().end());
    rows.push_back({0x0021, "probe", &probeImage, LinkFamily::ftdi, "P0100"});
    return rows;
}

class SixthVariant : public BusFixture {
protected:
    const std::vector<Variant> rows = carriedRowsAndAProbe();
    const VariantTable table{rows};

    UsbDeviceInfo probe(const std::string &serial)
    {
        UsbDeviceInfo record;
        record.productId = 0x0021;
        record.serialNumber = serial;
        return record;
    }
};

TEST_F(SixthVariant, IsFoundByProductIdToolNameAndSerialRule)
{
    EXPECT_EQ(table.imageFor(probe("P0100")), &probeImage);
    EXPECT_EQ(table.imageFor(probe("P0099")), nullptr) << "older serial numbers do not take the image";
    EXPECT_EQ(table.byToolName("probe"), &rows.back());
    EXPECT_EQ(table.toolNames(), carriedVariants().toolNames() + ", probe");
    // The carried variants keep their answers in the longer table.
    for (const Variant &carried : carriedVariants().rows())
        EXPECT_EQ(table.byToolName(carried.toolName)->image, carried.image);
}

TEST_F(SixthVariant, IsSimulatedAndReachedOverItsLinkFamily)
{
    simulation::AdapterConfig config = simulation::simulatedAdapter(0x0021, "P0100", table);
    EXPECT_EQ(config.description, "Vantrel Probe");
    EXPECT_TRUE(config.ftdi);
    EXPECT_EQ(config.imageAddress, 0x44000U);
    simulation::Adapter &adapter = simulation::attach(bus, config);
    ASSERT_TRUE(adapter.loader().inFlash(probeImage.loadAddress, probeImage.imageSize));

    std::unique_ptr<HDataLink> link = table.createDataLink(recordOf(adapter));
    ASSERT_NE(dynamic_cast<UsbdFtd2xxDataLink *>(link.get()), nullptr);
    link->setTimeout(60000);
    link->connect(true);
    eraseAndWrite(*link, probeImage.loadAddress, probeBytes);
    EXPECT_TRUE(link->verifyMemory(probeImage.loadAddress, probeImage.imageSize, probeImage.image));
    link->disconnect();
}

TEST(CarriedVariants, HoldTheCatalogueInItsOrder)
{
    const auto rows = carriedVariants().rows();
    ASSERT_EQ(rows.size(), firmwareCatalogueSize);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].image, &firmwareCatalogue[i]) << i;
    EXPECT_EQ(carriedVariants().toolNames(), "arm-standard, arm-basic, max, flex, msp430");
}

}  // namespace
