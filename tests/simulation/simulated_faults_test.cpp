// Every simulated fault that the tools offer shows as the failure it names,
// through the same steps the window and vantrel-flash take.

#include <gtest/gtest.h>

#include "loader/loader_info.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "tests/support/recording_host.h"
#include "update/adapter_link.h"
#include "update/install_engine.h"

namespace {

using simulation::attachSimulatedAdapter;
using simulation::SimulatedAdapterSetup;
using simulation::SimulatedFault;
using simulation::simulatedFaultNamed;
using simulation::SimulatedFirmware;

struct FaultCase {
    const char *name;
    const char *variant;
    SimulatedFirmware firmware;
    const char *message;
};

void PrintTo(const FaultCase &c, std::ostream *os) { *os << c.name << " on " << c.variant; }

class SimulatedFaults : public BusFixture, public testing::WithParamInterface<FaultCase> {
protected:
    // Opens the adapter, reads what it has installed and installs: the
    // message of the first failure, or "" when all went well.
    std::string install(const UsbDeviceInfo &device)
    {
        RecordingHost host;
        return messageOf([&] {
            std::unique_ptr<HDataLink> link = openAdapterLink(device);
            LoaderInfo info;
            link->getLoaderInfo(info);
            FirmwareInstaller(device, link, !installedVersion(info), host).run();
        });
    }
};

TEST_P(SimulatedFaults, ShowAsTheFailureTheyName)
{
    const FaultCase &c = GetParam();
    const std::optional<SimulatedFault> fault = simulatedFaultNamed(c.name);
    ASSERT_TRUE(fault);
    EXPECT_STREQ(nameOf(*fault), c.name);
    const std::uint16_t productId = carriedVariants().byToolName(c.variant)->productId;
    simulation::Adapter &adapter = attachSimulatedAdapter(bus, {productId, "04020001", c.firmware, fault});
    EXPECT_EQ(install(recordOf(adapter)), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFault, SimulatedFaults,
    testing::Values(FaultCase{"busy", "max", SimulatedFirmware::none, "device already in use"},
                    FaultCase{"connect", "msp430", SimulatedFirmware::none, "connect failed"},
                    FaultCase{"erase", "flex", SimulatedFirmware::none, "Erase failed : memory erase failed"},
                    FaultCase{"write", "arm-standard", SimulatedFirmware::none, "Download failed : memory write failed"},
                    FaultCase{"verify", "max", SimulatedFirmware::none, "Verify failed : read operation timed out"},
                    FaultCase{"crc", "arm-basic", SimulatedFirmware::older, "Verify failed : crc check mismatch"},
                    FaultCase{"disconnect", "msp430", SimulatedFirmware::carried, "disconnect failed"},
                    FaultCase{"no-reply", "max", SimulatedFirmware::older, "read operation timed out"},
                    FaultCase{"unplug", "flex", SimulatedFirmware::none, "Download failed : write operation failed"},
                    FaultCase{"never-back", "max", SimulatedFirmware::older, "cannot open device driver"},
                    FaultCase{"no-permission", "arm-basic", SimulatedFirmware::none,
                              "cannot open device driver (no permission: install the udev rules)"},
                    FaultCase{"no-driver", "flex", SimulatedFirmware::none, "cannot open device driver"},
                    FaultCase{"link", "max", SimulatedFirmware::none, "Download failed : write operation failed"},
                    // The install itself goes well: only reading the adapter again shows it.
                    FaultCase{"wrong-version", "msp430", SimulatedFirmware::none, "(no exception)"},
                    FaultCase{"garbled", "max", SimulatedFirmware::none, "get loader info failed, unexpected tag returned"}),
    [](const testing::TestParamInfo<FaultCase> &param) {
        std::string name = param.param.name;
        std::erase(name, '-');
        return name;
    });

TEST(SimulatedFaultNames, AreTheOnesTheToolsOfferAndNothingElse)
{
    EXPECT_EQ(simulation::simulatedFaultNames(),
              "busy, connect, erase, write, verify, crc, disconnect, no-reply, unplug, never-back, no-permission, "
              "no-driver, link, wrong-version, garbled");
    for (const simulation::SimulatedFaultInfo &info : simulation::simulatedFaults())
        EXPECT_EQ(simulatedFaultNamed(info.name), info.fault);
    for (const char *unknown : {"", "melt", "Busy", "no_reply", "busy "})
        EXPECT_FALSE(simulatedFaultNamed(unknown)) << unknown;
}

class SimulatedFaultLimits : public BusFixture {};

TEST_F(SimulatedFaultLimits, AFaultThatCannotShowIsRefused)
{
    // An adapter that does not reboot into its loader, and one without firmware.
    for (const SimulatedAdapterSetup &setup :
         {SimulatedAdapterSetup{5, "S1", SimulatedFirmware::carried, SimulatedFault::neverBack},
          SimulatedAdapterSetup{16, "S2", SimulatedFirmware::none, SimulatedFault::neverBack},
          // The updater carries nothing for an older ARM Basic.
          SimulatedAdapterSetup{4, "0401FFFF", SimulatedFirmware::none, SimulatedFault::busy}}) {
        EXPECT_THROW(attachSimulatedAdapter(bus, setup), simulation::SimulationError) << setup.serialNumber;
    }
}

}  // namespace
