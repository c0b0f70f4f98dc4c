// Anonymised recordings hold no serial number or device path of the hardware,
// and replay to the same decisions as the hardware made the program take.

#include "recording/anonymiser.h"

#include "tests/recording/session_runs.h"

namespace {

using recording::Anonymiser;
using simulation::SimulatedAdapterSetup;
using simulation::SimulatedFirmware;

TEST(Anonymiser, KeepsASerialNumbersOrderAgainstEachBoundary)
{
    const std::vector<std::string> boundaries = {"04020000", "B"};
    Anonymiser anonymiser(boundaries);
    for (const std::string serial : {"04010007", "04020000", "04020001", "0402", "040200001", "05", "A", "Bz", "",
                                     "\xFF\xFE"}) {
        const std::string placeholder = anonymiser.serial(serial);
        for (const std::string &boundary : boundaries)
            EXPECT_EQ(placeholder >= boundary, serial >= boundary) << serial << " -> " << placeholder;
        EXPECT_EQ(anonymiser.serial(serial), placeholder) << "the same each time";
    }
    EXPECT_EQ(anonymiser.serial(""), "");
    // The plain name where it sorts alike; else only what decides the order is kept.
    EXPECT_EQ(Anonymiser({"04020000"}).serial("04020001"), "serial-1");
    EXPECT_EQ(Anonymiser(boundaries).serial("04020001"), "04020000serial-1");  // below "B"
    EXPECT_EQ(Anonymiser(boundaries).serial("04010007"), "0401serial-1");
    EXPECT_EQ(Anonymiser().serial("04010007"), "serial-1");
}

TEST(Anonymiser, ReplacesPathsAndTheSerialInsideAnInstanceIdentifier)
{
    Anonymiser anonymiser;
    const std::string path = "\\\\?\\usb#vid_131b&pid_0010#04020001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::string placeholder = anonymiser.devicePath(path);
    EXPECT_EQ(placeholder.rfind("device-1", 0), 0u);
    EXPECT_EQ(placeholder.size(), path.size()) << "too long to open stays too long";
    EXPECT_EQ(anonymiser.devicePath("/dev/bus/usb/001/007"), "device-2____________");
    EXPECT_EQ(anonymiser.devicePath(path), placeholder);

    EXPECT_EQ(anonymiser.instanceId("USB\\VID_131B&PID_0010\\04020001"), "USB\\VID_131B&PID_0010\\serial-1");
    EXPECT_EQ(anonymiser.instanceId("USB\\VID_131B&PID_0010\\04020001\\more"), "USB\\VID_131B&PID_0010\\serial-1\\more");
    // The system's made-up segment of a device without a serial number is no serial number.
    EXPECT_EQ(anonymiser.instanceId("USB\\VID_131B&PID_0010\\7&1A2B3C4D&0&0000"), "USB\\VID_131B&PID_0010\\7&1A2B3C4D&0&0000");
    EXPECT_EQ(anonymiser.instanceId("USB\\VID_131B"), "USB\\VID_131B");
    EXPECT_EQ(anonymiser.serial("04020001"), "serial-1");
}

TEST(AnonymisedRecordings, HoldNoIdentityAndReplayToTheSameDecisions)
{
    recording::RecordSettings settings = testSettings();
    settings.command = {"install", "--serial", "04010007", "--port", "1-4"};
    settings.anonymise = true;
    settings.serialBoundaries = {"04020000"};
    settings.commandSerials = {"04010007"};
    // An ARM Basic too old for its image, at the place on the bus that the
    // command names, and a Max.
    SimulatedAdapterSetup older{4, "04010007", SimulatedFirmware::older, std::nullopt};
    older.port = "usb#vid_131b&pid_0004#04010007";
    settings.commandDevicePaths = {{"1-4", older.port}};
    const std::vector<SimulatedAdapterSetup> adapters = {older,
                                                         {16, "04020001", SimulatedFirmware::older, std::nullopt}};
    const RecordedSession recorded = recordSimulated(adapters, listSession, settings);
    for (const char *identity : {"0401000", "04020001", "usb#vid_"})
        EXPECT_EQ(recorded.text.find(identity), std::string::npos) << identity;

    const recording::Recording read = parsed(recorded.text);
    EXPECT_TRUE(read.header.anonymised);
    const platform::DeviceEntry &listed = read.exchanges.at(0).entries.at(0);
    const std::string placeholder = listed.identity->serialNumber;
    EXPECT_EQ(read.header.command,
              (std::vector<std::string>{"install", "--serial", placeholder, "--port", listed.devicePath}));

    const ReplayedSession replayed = replay(recorded.text, listSession);
    EXPECT_EQ(replayed.verdict, std::nullopt);
    ASSERT_EQ(replayed.outcome.notes.size(), 2u);
    EXPECT_EQ(replayed.outcome.notes[0], placeholder + ": not supported");
    EXPECT_EQ(replayed.outcome.notes[1].substr(replayed.outcome.notes[1].find(':')),
              recorded.outcome.notes[1].substr(recorded.outcome.notes[1].find(':')));
}

}  // namespace
