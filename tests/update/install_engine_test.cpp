#include "update/install_engine.h"

#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "tests/support/recording_host.h"
#include "update/firmware_image.h"

namespace {

using simulation::Adapter;
using simulation::installCarriedImage;
using simulation::LoaderFault;
using simulation::simulatedAdapter;
using simulation::SimulatedLoader;
using Report = RecordingHost::Report;

class Install : public BusFixture {
protected:
    RecordingHost host;
    UsbDeviceInfo device;
    std::unique_ptr<HDataLink> link;

    Adapter &attach(std::uint16_t productId, bool installed = false)
    {
        Adapter &adapter = simulation::attach(bus, simulatedAdapter(productId, "04020001"));
        device = recordOf(adapter);
        if (installed)
            installCarriedImage(adapter, *device.firmwareImage());
        link = device.createDataLink();
        link->setTimeout(60000);
        return adapter;
    }

    void install(bool notInstalled)
    {
        FirmwareInstaller installer(device, link, notInstalled, host);
        installer.run();
    }

    std::vector<std::uint32_t> lengthsOf(const SimulatedLoader &loader, std::uint8_t code)
    {
        std::vector<std::uint32_t> lengths;
        for (const auto &packet : loader.commandPackets())
            if (packet[0] == code)
                lengths.push_back(packet[9] | packet[10] << 8 | packet[11] << 16 | std::uint32_t{packet[12]} << 24);
        return lengths;
    }
};

struct PieceCase {
    std::uint16_t productId;
    std::size_t eraseAndVerifyPieces;
    std::uint32_t lastErasePiece;
    std::size_t writePieces;
    std::uint32_t lastWritePiece;
};

void PrintTo(const PieceCase &c, std::ostream *os) { *os << "product id " << c.productId; }

class InstallEachImage : public Install, public testing::WithParamInterface<PieceCase> {};

TEST_P(InstallEachImage, WritesTheImageInPiecesAndTheLoaderReportsItsVersion)
{
    const PieceCase &c = GetParam();
    Adapter &adapter = attach(c.productId);
    install(true);

    const FirmwareImage &entry = *device.firmwareImage();
    const SimulatedLoader &loader = adapter.loader();
    for (std::uint8_t code : {std::uint8_t{0x05}, std::uint8_t{0x07}}) {
        const std::vector<std::uint32_t> lengths = lengthsOf(loader, code);
        EXPECT_EQ(lengths.size(), c.eraseAndVerifyPieces);
        EXPECT_EQ(lengths.back(), c.lastErasePiece);
    }
    const std::vector<std::uint32_t> writes = lengthsOf(loader, 0x03);
    EXPECT_EQ(writes.size(), c.writePieces);
    EXPECT_EQ(writes.back(), c.lastWritePiece);
    EXPECT_EQ(loader.commandCount(0x01), 1);
    EXPECT_EQ(loader.commandCount(0x02), 1);

    EXPECT_EQ(loader.crcOf(entry.loadAddress, entry.imageSize), crc32(entry.image, entry.imageSize));
    LoaderInfo info;
    link->getLoaderInfo(info);
    const ImageVersion carried = imageVersion(entry);
    EXPECT_EQ(info.words[1], 1U);
    EXPECT_EQ(info.imageVersionMajor, carried.major);
    EXPECT_EQ(info.imageVersionMinor, carried.minor);
    EXPECT_EQ(boundedText(info.imageDescription, 40), carried.buildText);
    EXPECT_EQ(host.events, (std::vector<std::string>{"install off", "polling off", "panel invalid", "install on",
                                                      "polling on"}));
}

INSTANTIATE_TEST_SUITE_P(CarriedImages, InstallEachImage,
                         testing::Values(PieceCase{3, 14, 5912, 28, 1816}, PieceCase{4, 5, 4356, 10, 260},
                                         PieceCase{16, 43, 5904, 86, 1808}, PieceCase{6, 8, 588, 15, 588},
                                         PieceCase{5, 2, 7476, 4, 3380}));

TEST_F(Install, TasksReportZeroTheTotalAndEachPiece)
{
    Adapter &adapter = attach(16);
    link->connect(true);
    FirmwareInstaller installer(device, link, true, host);
    const Bytes data = patternBytes(8193);
    const std::uint32_t address = device.firmwareImage()->loadAddress;

    installer.erase(*link, address, 8192);
    installer.download(*link, address, 8192, data.data());
    installer.verify(*link, address, 8192, data.data());
    EXPECT_EQ(host.reports, (std::vector<Report>{
                                {0, 8192, "erase", "bytes"},
                                {8192, -1, "-", "-"},
                                {0, 8192, "write", "bytes"},
                                {4096, -1, "-", "-"},
                                {8192, -1, "-", "-"},
                                {0, 8192, "verify", "bytes"},
                                {8192, -1, "-", "-"},
                            }));

    host.reports.clear();
    installer.erase(*link, address, 8193);
    EXPECT_EQ(host.steps(), (std::vector<int>{0, 8192, 8193}));
    EXPECT_EQ(lengthsOf(adapter.loader(), 0x05), (std::vector<std::uint32_t>{8192, 8192, 1}));
}

TEST_F(Install, AWriteRefusedInTheThirdPieceStopsTheSequence)
{
    Adapter &adapter = attach(16);
    adapter.loader().injectFault(0x03, LoaderFault::statusZero, 3);
    EXPECT_EQ(messageOf([&] { install(true); }), "Download failed : memory write failed");

    const auto length = static_cast<int>(device.firmwareImage()->imageSize);
    std::vector<Report> download(host.reports.end() - 4, host.reports.end());
    EXPECT_EQ(download, (std::vector<Report>{{0, length, "write", "bytes"},
                                             {4096, -1, "-", "-"},
                                             {8192, -1, "-", "-"},
                                             {length, -1, "-", "-"}}));
    EXPECT_EQ(adapter.loader().commandCount(0x07), 0) << "no verify";
    EXPECT_EQ(adapter.loader().commandCount(0x02), 0) << "no disconnect";
    EXPECT_EQ(host.events, (std::vector<std::string>{"install off", "polling off", "install on", "polling on"}));
    EXPECT_EQ(host.endedEarly, std::vector<int>{8192}) << "how far the task really got, before it reports the end";
}

TEST_F(Install, TaskFailuresCarryTheirPrefixTheirKindAndTheirTask)
{
    struct Case {
        std::uint8_t command;
        LoaderFault fault;
        const char *message;
        ErrorKind kind;
        InstallTask task;
    };
    for (const Case &c :
         {Case{0x05, LoaderFault::statusZero, "Erase failed : memory erase failed", ErrorKind::eraseFailed,
               InstallTask::erase},
          // The loader answered before: a command it leaves unanswered is that command's failure.
          Case{0x05, LoaderFault::noReply, "Erase failed : read operation timed out", ErrorKind::eraseFailed,
               InstallTask::erase},
          Case{0x03, LoaderFault::noReply, "Download failed : read operation timed out", ErrorKind::writeFailed,
               InstallTask::download},
          Case{0x07, LoaderFault::noReply, "Verify failed : read operation timed out", ErrorKind::verifyFailed,
               InstallTask::verify},
          Case{0x07, LoaderFault::wrongCrc, "Verify failed : crc check mismatch", ErrorKind::verifyMismatch,
               InstallTask::verify},
          Case{0x03, LoaderFault::corruptData, "Verify failed : crc check mismatch", ErrorKind::verifyMismatch,
               InstallTask::verify},
          Case{0x02, LoaderFault::statusZero, "disconnect failed", ErrorKind::disconnectFailed,
               InstallTask::disconnect},
          Case{0x01, LoaderFault::statusZero, "connect failed", ErrorKind::connectFailed, InstallTask::connect},
          Case{0x01, LoaderFault::noReply, "read operation timed out", ErrorKind::noReply, InstallTask::connect}}) {
        SCOPED_TRACE(c.message);
        const auto freshOwner = platform::VirtualBus::create(clock);
        platform::VirtualBus &fresh = *freshOwner;
        platform::ScopedServices services(fresh.services());
        Adapter &adapter = simulation::attach(fresh, simulatedAdapter(16, "S"));
        device = recordOf(adapter);
        link = device.createDataLink();
        link->setTimeout(60000);
        adapter.loader().injectFault(c.command, c.fault, 1);
        host.events.clear();
        FirmwareInstaller installer(device, link, true, host);
        const std::optional<HException> failure = exceptionOf([&] { installer.run(); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->message(), c.message);
        EXPECT_EQ(nameOf(failure->kind()), std::string(nameOf(c.kind)));
        EXPECT_EQ(nameOf(installer.task()), std::string(nameOf(c.task)));
        EXPECT_EQ(host.events.back(), "polling on");
        link.reset();  // before its bus goes
    }
}

TEST_F(Install, AnAdapterPulledOutMidDownloadIsALinkFailureOfThatTask)
{
    Adapter &adapter = attach(16);
    adapter.device().unplugAfterBytes(device.firmwareImage()->imageSize / 2);
    FirmwareInstaller installer(device, link, true, host);
    const std::optional<HException> failure = exceptionOf([&] { installer.run(); });
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message().starts_with("Download failed : ")) << failure->message();
    EXPECT_EQ(nameOf(failure->kind()), std::string("link-failed"));
    EXPECT_EQ(installer.task(), InstallTask::download);
}

TEST_F(Install, AReenumeratingAdapterIsReopenedOnceWhenItComesBackInTime)
{
    Adapter &adapter = attach(16, true);
    adapter.setReenumerateOnConnect(400);
    clock.clearSleeps();
    install(false);

    EXPECT_EQ(adapter.reenumerations(), 1);
    EXPECT_EQ(clock.sleeps(), std::vector<std::uint32_t>{1000});
    EXPECT_EQ(observer.linksOpened(), 2) << "the panel's link and exactly one re-made link";
    EXPECT_EQ(adapter.loader().commandCount(0x02), 1);
    const FirmwareImage &entry = *device.firmwareImage();
    EXPECT_EQ(adapter.loader().crcOf(entry.loadAddress, entry.imageSize), crc32(entry.image, entry.imageSize));
}

TEST_F(Install, AnAdapterThatNeverComesBackFailsAfterElevenLinks)
{
    Adapter &adapter = attach(16, true);
    adapter.setReenumerateOnConnect(0xFFFFFFFFU);
    clock.clearSleeps();
    const std::optional<HException> failure = exceptionOf([&] { install(false); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message(), "cannot open device driver");
    EXPECT_EQ(failure->kind(), ErrorKind::notBack);
    EXPECT_EQ(clock.sleeps(), std::vector<std::uint32_t>(11, 1000));
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(host.events.back(), "polling on");

    // A second click on the link-less panel makes a link first and fails the same way.
    host.events.clear();
    EXPECT_EQ(messageOf([&] { install(false); }), "cannot open device driver");
    EXPECT_EQ(host.events, (std::vector<std::string>{"install off", "polling off", "install on", "polling on"}));
    EXPECT_EQ(observer.openHandles(), 0);
}

TEST_F(Install, AReopenThatTakesAFewTriesSucceeds)
{
    Adapter &adapter = attach(6, true);
    adapter.setReenumerateOnConnect(3500);
    clock.clearSleeps();
    install(false);
    EXPECT_EQ(clock.sleeps().size(), 4U);
    EXPECT_EQ(observer.linksOpened(), 2);
}

TEST_F(Install, NoInstalledFirmwareMeansOneConnectOnTheExistingLink)
{
    Adapter &adapter = attach(16, false);
    adapter.setReenumerateOnConnect(400);  // would reboot if it ran firmware
    clock.clearSleeps();
    install(true);
    EXPECT_TRUE(clock.sleeps().empty());
    EXPECT_EQ(observer.linksOpened(), 1);
    EXPECT_EQ(adapter.loader().commandCount(0x01), 1);
    EXPECT_EQ(adapter.reenumerations(), 0);
}

TEST_F(Install, FtdiVariantsConnectOnceEvenWithFirmwareInstalled)
{
    for (std::uint16_t productId : {std::uint16_t{3}, std::uint16_t{5}}) {
        const auto freshOwner = platform::VirtualBus::create(clock);
        platform::VirtualBus &fresh = *freshOwner;
        const auto observeed = std::make_shared<ObservingBackend>(freshOwner);
        platform::ScopedServices services({&clock, observeed});
        Adapter &adapter = simulation::attach(fresh, simulatedAdapter(productId, "F"));
        installCarriedImage(adapter, *recordOf(adapter).firmwareImage());
        device = recordOf(adapter);
        link = device.createDataLink();
        link->setTimeout(60000);
        clock.clearSleeps();
        install(false);
        EXPECT_EQ(adapter.loader().commandCount(0x01), 1);
        EXPECT_EQ(observeed->linksOpened(), 1);
        EXPECT_TRUE(clock.sleeps().empty());
        link.reset();  // before its bus goes
    }
}

// The carried image in flash with one byte changed in each of these pieces.
void damagePieces(Adapter &adapter, const FirmwareImage &entry, std::vector<std::uint32_t> pieces)
{
    installCarriedImage(adapter, entry);
    for (std::uint32_t piece : pieces)
        adapter.loader().corruptFlash(entry.loadAddress + piece * FirmwareInstaller::verifyPiece + 100, 0x01);
}

TEST_F(Install, AComparisonCountsEveryDifferingPieceAndWritesNothing)
{
    Adapter &adapter = attach(16);
    const FirmwareImage &entry = *device.firmwareImage();
    damagePieces(adapter, entry, {3, 40});
    const InstallReport report = FirmwareInstaller(device, link, false, host).run(InstallPass::compareOnly);

    EXPECT_TRUE(report.compared);
    EXPECT_FALSE(report.written);
    EXPECT_EQ(report.comparison.pieces, 43U);
    EXPECT_EQ(report.comparison.differing, 2U);
    EXPECT_EQ(report.comparison.firstDiffering, 3U);
    const SimulatedLoader &loader = adapter.loader();
    EXPECT_EQ(lengthsOf(loader, 0x07).size(), 43U) << "in the verify task's pieces";
    EXPECT_EQ(loader.commandCount(0x05), 0);
    EXPECT_EQ(loader.commandCount(0x03), 0);
    EXPECT_EQ(loader.commandCount(0x02), 1) << "disconnects";
    EXPECT_EQ(host.reports.front(), (Report{0, static_cast<int>(entry.imageSize), "compare", "bytes"}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"install off", "polling off", "install on", "polling on"}));
}

TEST_F(Install, InstallIfNeededWritesOnlyAFlashThatDiffers)
{
    struct Case {
        const char *name;
        bool installed;
        std::vector<std::uint32_t> damaged;
        bool written;
    };
    for (const Case &c : {Case{"current", true, {}, false}, Case{"one piece differs", true, {42}, true},
                          Case{"nothing installed", false, {}, true}}) {
        SCOPED_TRACE(c.name);
        const auto freshOwner = platform::VirtualBus::create(clock);
        platform::VirtualBus &fresh = *freshOwner;
        platform::ScopedServices services(fresh.services());
        Adapter &adapter = simulation::attach(fresh, simulatedAdapter(16, "S"));
        device = recordOf(adapter);
        const FirmwareImage &entry = *device.firmwareImage();
        if (c.installed)
            damagePieces(adapter, entry, c.damaged);
        link = device.createDataLink();
        link->setTimeout(60000);

        const InstallReport report =
            FirmwareInstaller(device, link, !c.installed, host).run(InstallPass::installIfNeeded);
        EXPECT_EQ(report.written, c.written);
        EXPECT_EQ(report.comparison.identical(), !c.written);
        EXPECT_EQ(adapter.loader().commandCount(0x05) > 0, c.written);
        EXPECT_EQ(adapter.loader().commandCount(0x03) > 0, c.written);
        EXPECT_EQ(adapter.loader().crcOf(entry.loadAddress, entry.imageSize), crc32(entry.image, entry.imageSize));
        link.reset();  // before its bus goes
    }
}

// Reports of a Max install: the erase task's start and 43 pieces, then the
// download's start and 86 pieces, then the verify's.
struct StopCase {
    const char *task;
    std::size_t stopAtReports;
    std::uint8_t command;
    int commandsDone;
    int stepsDone;
};

void PrintTo(const StopCase &c, std::ostream *os) { *os << c.task; }

class InstallStop : public Install, public testing::WithParamInterface<StopCase> {};

TEST_P(InstallStop, EndsTheTaskAtAPieceBoundaryAndRestoresTheHost)
{
    const StopCase &c = GetParam();
    Adapter &adapter = attach(16);
    host.stopAtReports = c.stopAtReports;
    EXPECT_THROW(install(true), InstallInterrupted);

    const SimulatedLoader &loader = adapter.loader();
    EXPECT_EQ(loader.commandCount(c.command), c.commandsDone) << "the command under way finished, no other began";
    EXPECT_EQ(host.endedEarly, std::vector<int>{c.stepsDone});
    EXPECT_EQ(host.reports.back().step, static_cast<int>(device.firmwareImage()->imageSize))
        << "reported complete for the window's sake";
    EXPECT_EQ(loader.commandCount(0x02), 0) << "no disconnect";
    EXPECT_EQ(host.events, (std::vector<std::string>{"install off", "polling off", "install on", "polling on"}));
}

INSTANTIATE_TEST_SUITE_P(EachTask, InstallStop,
                         testing::Values(StopCase{"erase", 4, 0x05, 3, 3 * 8192},
                                         StopCase{"download", 44 + 3, 0x03, 2, 2 * 4096},
                                         StopCase{"verify", 44 + 87 + 6, 0x07, 5, 5 * 8192}),
                         [](const testing::TestParamInfo<StopCase> &param) { return std::string(param.param.task); });

TEST_F(Install, AStopEndsTheReopenLoopAfterItsPause)
{
    Adapter &adapter = attach(16, true);
    adapter.setReenumerateOnConnect(0xFFFFFFFFU);
    clock.clearSleeps();
    host.stopAtReports = 0;
    EXPECT_THROW(install(false), InstallInterrupted);
    EXPECT_EQ(clock.sleeps(), std::vector<std::uint32_t>{1000});
    EXPECT_EQ(host.events.back(), "polling on");
}

// After its reboot into the boot loader the adapter is looked for again:
// by the window a second apart, by the tool every 50 ms, so that the host
// adds at most one pause to the adapter's own reboot; either gives up
// within the window's eleven seconds.
TEST_F(Install, TheToolLooksForARebootedAdapterInShortStepsWithinTheWindowsTime)
{
    const struct {
        const char *what;
        LookAgainSteps steps;
        std::uint32_t rebootMilliseconds;
    } cases[] = {
        {"the window, back after 1.5 s", windowLookAgain, 1500},
        {"the tool, back after 1.5 s", promptLookAgain, 1500},
        {"the tool, back after 0.2 s", promptLookAgain, 200},
        {"the window, never back", windowLookAgain, 0xFFFFFFFFU},
        {"the tool, never back", promptLookAgain, 0xFFFFFFFFU},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Adapter &adapter = attach(16, true);
        adapter.setReenumerateOnConnect(c.rebootMilliseconds);
        clock.clearSleeps();
        FirmwareInstaller installer(device, link, false, host, c.steps);
        const bool neverBack = c.rebootMilliseconds == 0xFFFFFFFFU;
        if (neverBack) {
            EXPECT_EQ(exceptionOf([&] { installer.run(); })->kind(), ErrorKind::notBack);
        } else {
            installer.run();
        }
        const std::vector<std::uint32_t> sleeps = clock.sleeps();
        EXPECT_EQ(sleeps, std::vector<std::uint32_t>(sleeps.size(), c.steps.pauseMilliseconds));
        const std::uint32_t waited = c.steps.pauseMilliseconds * static_cast<std::uint32_t>(sleeps.size());
        if (neverBack) {
            EXPECT_EQ(sleeps.size(), static_cast<std::size_t>(c.steps.retries) + 1);
            EXPECT_GE(waited, 10'000U);
            EXPECT_LE(waited, 11'000U);
        } else {
            EXPECT_GE(waited, c.rebootMilliseconds);
            EXPECT_LE(waited, c.rebootMilliseconds + c.steps.pauseMilliseconds);
        }
        link.reset();
        bus.detach(adapter.device());
    }
}

}  // namespace
