// After an exchange that went wrong, the host and an adapter's boot loader
// get back in step: the next install succeeds, on the same link or a new one,
// without re-plugging the adapter.

#include "loader/commands.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "tests/support/recording_host.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"
#include "update/install_engine.h"

namespace {

using simulation::LoaderFault;

// The variants whose adapters carry their own USB interface: the pipe links.
const std::uint16_t pipeVariants[] = {4, 16, 6};

// "arm-basic" as a test name: "ArmBasic".
std::string variantName(std::uint16_t productId)
{
    std::string name;
    bool upper = true;
    for (const char c : std::string(carriedVariants().byProductId(productId)->toolName)) {
        if (c == '-') {
            upper = true;
            continue;
        }
        name += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        upper = false;
    }
    return name;
}

class BackInStep : public BusFixture {
protected:
    RecordingHost host;
    simulation::Adapter *adapter = nullptr;
    UsbDeviceInfo device;

    void attach(std::uint16_t productId)
    {
        adapter = &simulation::attachSimulatedAdapter(
            bus, {productId, "04020001", simulation::SimulatedFirmware::none, std::nullopt});
        device = recordOf(*adapter);
    }

    std::string install(std::unique_ptr<HDataLink> &link)
    {
        return messageOf([&] { FirmwareInstaller(device, link, true, host).run(); });
    }

    // The carried image is in flash, and a new link in place of the
    // install's reads its version.
    void expectInstalled(std::unique_ptr<HDataLink> &link)
    {
        const FirmwareImage &entry = *device.firmwareImage();
        EXPECT_EQ(adapter->loader().crcOf(entry.loadAddress, entry.imageSize), crc32(entry.image, entry.imageSize));
        link.reset();
        link = openAdapterLink(device);
        LoaderInfo info{};
        EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }), "(no exception)");
        EXPECT_EQ(info.imageVersionMajor, imageVersion(entry).major);
    }
};

// The loader's information reply, as the panel asks for it, comes wrong.
struct Disorder {
    const char *name;
    LoaderFault fault;
    std::string panelMessage;
};

void PrintTo(const Disorder &c, std::ostream *os) { *os << c.name; }

const Disorder disorders[] = {
    {"StrayBytesAfterTheReply", LoaderFault::strayBytes, "(no exception)"},
    {"ReplyAfterTheTimeOut", LoaderFault::lateReply, "read operation timed out"},
};

using DisorderCase = std::tuple<std::uint16_t, Disorder, bool>;  // variant, disorder, through a new link

std::string nameOfCase(const testing::TestParamInfo<DisorderCase> &info)
{
    const auto &[productId, disorder, newLink] = info.param;
    return variantName(productId) + disorder.name + (newLink ? "NewLink" : "SameLink");
}

class BackInStepAfterDisorder : public BackInStep, public testing::WithParamInterface<DisorderCase> {};

TEST_P(BackInStepAfterDisorder, TheNextInstallSucceeds)
{
    const auto &[productId, disorder, newLink] = GetParam();
    attach(productId);
    adapter->loader().injectFault(loader::loaderInfoCommand, disorder.fault, 1);
    auto link = openAdapterLink(device);
    LoaderInfo info{};
    EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }), disorder.panelMessage);
    // The person reads the panel, or the error, and goes on a few seconds later.
    clock.advance(5000);
    if (newLink) {
        // The panel is built again: its new link reads the information.
        link.reset();
        link = openAdapterLink(device);
        EXPECT_EQ(messageOf([&] { link->getLoaderInfo(info); }), "(no exception)");
        EXPECT_EQ(info.words[1], 0U) << "nothing installed yet";
    }
    EXPECT_EQ(install(link), "(no exception)");
    expectInstalled(link);
}

INSTANTIATE_TEST_SUITE_P(
    PipeVariants, BackInStepAfterDisorder,
    testing::Combine(testing::ValuesIn(pipeVariants), testing::ValuesIn(disorders), testing::Bool()),
    nameOfCase);

// A write that stops in the middle of its data leaves the loader waiting
// for the rest. It gives up after a silence, so the next install's connect
// is taken as a command again, not as more data.
class BackInStepAfterACutWrite : public BackInStep, public testing::WithParamInterface<std::uint16_t> {};

TEST_P(BackInStepAfterACutWrite, TheNextInstallSucceeds)
{
    attach(GetParam());
    const FirmwareImage &entry = *device.firmwareImage();
    const std::uint64_t erases = (entry.imageSize + FirmwareInstaller::erasePiece - 1) / FirmwareInstaller::erasePiece;
    // The connect, every erase and the first write's packet go out whole;
    // its data stops halfway.
    adapter->device().faults().writeBytesUntilStall =
        loader::plainPacketSize + erases * loader::addressedPacketSize + loader::addressedPacketSize +
        FirmwareInstaller::writePiece / 2;
    auto link = openAdapterLink(device);
    EXPECT_EQ(install(link), "Download failed : write operation timed out");

    adapter->device().faults().writeBytesUntilStall.reset();
    EXPECT_EQ(install(link), "(no exception)");
    expectInstalled(link);
}

INSTANTIATE_TEST_SUITE_P(PipeVariants, BackInStepAfterACutWrite, testing::ValuesIn(pipeVariants),
                         [](const testing::TestParamInfo<std::uint16_t> &param) { return variantName(param.param); });

}  // namespace
