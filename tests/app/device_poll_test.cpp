#include <functional>

#include <QPointer>

#include "tests/support/window_fixture.h"
#include "update/firmware_image.h"

namespace {

using simulation::Adapter;
using simulation::LoaderFault;

class Poll : public WindowFixture {
protected:
    // One Vantrel Max, ready at the first poll.
    Adapter &readyMax(const std::string &serial = "04020001")
    {
        Adapter &adapter = attach(16, serial);
        openWindow();
        EXPECT_EQ(status(), "Device ready.");
        return adapter;
    }

    // What a poll that only removes the panel must leave alone.
    struct Shown {
        QString status, variant, serial;
        bool hardware, firmware;
        friend bool operator==(const Shown &, const Shown &) = default;
    };
    Shown shown() const { return {status(), variantText(), serialText(), hardwareEnabled(), firmwareEnabled()}; }
};

TEST_F(Poll, ShowsASupportedAdapterAtTheNextTick)
{
    openWindow();
    ASSERT_EQ(status(), noDevices);
    attach(16, "04020001");
    tick();
    EXPECT_EQ(status(), "Device ready.");
    EXPECT_TRUE(hardwareEnabled());
    EXPECT_TRUE(firmwareEnabled());
    EXPECT_EQ(variantText(), variantCaption + "Vantrel Max");
    EXPECT_EQ(serialText(), serialCaption + "04020001");
    ASSERT_NE(shownPanel(), nullptr);

    // The panel's reports reach the window.
    emit shownPanel()->progress(3, 8, "Verifying firmware", "bytes");
    EXPECT_EQ(bar()->maximum(), 8);
    EXPECT_EQ(bar()->value(), 3);
    EXPECT_EQ(status(), "Verifying firmware.");
}

TEST_F(Poll, KeepsThePanelAndItsLinkWhileTheSameAdapterStays)
{
    readyMax();
    VantrelUpdaterWidget *panel = shownPanel();
    tick();
    tick();
    EXPECT_EQ(shownPanel(), panel);
    EXPECT_EQ(observer.linksOpened(), 1);
    // A status from the panel's reports stays until something changes.
    window->setStatus(QStringLiteral("kept"), false);
    tick();
    EXPECT_EQ(status(), "Kept.");
}

TEST_F(Poll, UnplugRemovesOnlyThePanelAndTheNextTickShowsNoDevices)
{
    Adapter &adapter = readyMax();
    const Shown before = shown();
    QPointer<VantrelUpdaterWidget> panel = shownPanel();
    bus.detach(adapter.device());

    tick();
    EXPECT_TRUE(blankShown());
    EXPECT_TRUE(panel.isNull()) << "the panel is deleted";
    EXPECT_EQ(observer.openHandles(), 0) << "and with it its link";
    EXPECT_EQ(shown(), before);

    tick();
    EXPECT_EQ(status(), noDevices);
    EXPECT_FALSE(hardwareEnabled());
    EXPECT_FALSE(firmwareEnabled());
    EXPECT_TRUE(captionsOnly());
}

struct ReplugCase {
    const char *newSerial;
    bool panelReplaced;
};

class PollReplug : public Poll, public testing::WithParamInterface<ReplugCase> {};

void PrintTo(const ReplugCase &c, std::ostream *os) { *os << c.newSerial; }

TEST_P(PollReplug, ComparesSerialNumbersByteForByte)
{
    Adapter &first = readyMax("VT00a1");
    QPointer<VantrelUpdaterWidget> panel = shownPanel();
    bus.detach(first.device());
    if (GetParam().panelReplaced)
        attach(16, GetParam().newSerial);
    else
        bus.reattach(first.device());

    tick();
    if (!GetParam().panelReplaced) {
        EXPECT_EQ(shownPanel(), panel.data()) << "unplugged and back between two ticks goes unnoticed";
        EXPECT_EQ(observer.linksOpened(), 1);
        return;
    }
    EXPECT_TRUE(panel.isNull());
    EXPECT_TRUE(blankShown());
    EXPECT_EQ(serialText(), serialCaption + "VT00a1");

    tick();
    ASSERT_NE(shownPanel(), nullptr);
    EXPECT_EQ(serialText(), serialCaption + GetParam().newSerial);
    EXPECT_EQ(status(), "Device ready.");
}

INSTANTIATE_TEST_SUITE_P(Serials, PollReplug,
                         testing::Values(ReplugCase{"VT00a1", false}, ReplugCase{"VT00A1", true},
                                         ReplugCase{"VT00a2", true}, ReplugCase{"VT00a1 ", true}));

TEST_F(Poll, ASecondAdapterRemovesThePanelThenAsksForOnlyOne)
{
    readyMax();
    attach(6, "04020002");
    tick();
    EXPECT_TRUE(blankShown());
    EXPECT_EQ(status(), "Device ready.");

    tick();
    EXPECT_EQ(status(), "Multiple devices connected, attach only one Vantrel.");
    EXPECT_FALSE(hardwareEnabled());
    EXPECT_FALSE(firmwareEnabled());
    EXPECT_TRUE(captionsOnly());
    tick();
    EXPECT_EQ(status(), "Multiple devices connected, attach only one Vantrel.");
}

TEST_F(Poll, DevicesOfOtherVendorsNeverCount)
{
    simulation::AdapterConfig other = simulation::simulatedAdapter(16, "FOREIGN1");
    other.vendorId = 0x0403;
    simulation::attach(bus, other);
    simulation::attach(bus, other);
    openWindow();
    EXPECT_EQ(status(), noDevices);
    attach(16);
    tick();
    EXPECT_EQ(status(), "Device ready.");
    tick();
    EXPECT_NE(shownPanel(), nullptr);
}

TEST_F(Poll, AnUnsupportedVariantChangesOnlyTheStatus)
{
    attach(7, "04020009");
    openWindow();
    const QString unsupported = QStringLiteral("The attached Vantrel is not supported by Vantrel Update.");
    EXPECT_EQ(status(), unsupported);
    // Nothing else is touched, so the areas are still as the window made them.
    EXPECT_TRUE(hardwareEnabled());
    EXPECT_TRUE(firmwareEnabled());
    EXPECT_EQ(variantText(), "");
    EXPECT_EQ(serialText(), "");
    EXPECT_TRUE(blankShown());
    tick();
    EXPECT_EQ(status(), unsupported);
    EXPECT_EQ(observer.linksOpened(), 0);
}

TEST_F(Poll, AnUnsupportedAdapterAfterAPanelLeavesThePreviousAdapterOnShow)
{
    Adapter &max = readyMax();
    bus.detach(max.device());
    attach(4, "04010000");  // an ARM Basic older than any the updater carries for
    tick();
    tick();
    EXPECT_EQ(status(), "The attached Vantrel is not supported by Vantrel Update.");
    EXPECT_EQ(variantText(), variantCaption + "Vantrel Max");
    EXPECT_EQ(serialText(), serialCaption + "04020001");
    EXPECT_TRUE(hardwareEnabled());
    EXPECT_TRUE(firmwareEnabled());
    EXPECT_TRUE(blankShown());
}

struct OpenFailureCase {
    const char *name;
    std::function<void(Adapter &)> fault;
    const char *status;
};

void PrintTo(const OpenFailureCase &c, std::ostream *os) { *os << c.name; }

class PollOpenFailure : public Poll, public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(PollOpenFailure, ShowsTheMessageAndTriesAgainEveryTick)
{
    Adapter &adapter = attach(16);
    GetParam().fault(adapter);
    openWindow();
    EXPECT_EQ(status(), GetParam().status);
    EXPECT_TRUE(hardwareEnabled());
    EXPECT_FALSE(firmwareEnabled());
    EXPECT_TRUE(captionsOnly());
    EXPECT_EQ(shownPanel(), nullptr);
    EXPECT_EQ(observer.openHandles(), 0) << "the failed panel released what it opened";

    const int setsBefore = observer.listings();
    tick();
    EXPECT_EQ(observer.listings(), setsBefore + 1);
    EXPECT_EQ(status(), GetParam().status);

    adapter.device().setBusy(false);
    adapter.loader().clearFaults();
    tick();
    EXPECT_EQ(status(), "Device ready.");
    EXPECT_TRUE(firmwareEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PollOpenFailure,
    testing::Values(OpenFailureCase{"Busy", [](Adapter &a) { a.device().setBusy(true); },
                                    "Device already in use."},
                    OpenFailureCase{"SilentLoader",
                                    [](Adapter &a) {
                                        a.loader().injectFault(0x08, LoaderFault::noReply);
                                    },
                                    "Read operation timed out."},
                    OpenFailureCase{"WrongTag",
                                    [](Adapter &a) {
                                        a.loader().injectFault(0x08, LoaderFault::wrongTag);
                                    },
                                    "Get loader info failed, unexpected tag returned."}),
    [](const testing::TestParamInfo<OpenFailureCase> &param) { return std::string(param.param.name); });

TEST_F(Poll, AFailureAfterAnotherAdapterKeepsThePageAndTheSerial)
{
    Adapter &max = readyMax();
    bus.detach(max.device());
    attach(16, "04020002").device().setBusy(true);
    tick();  // removes the panel
    tick();  // fails to build the new one
    EXPECT_EQ(status(), "Device already in use.");
    EXPECT_TRUE(blankShown());
    EXPECT_TRUE(hardwareEnabled());
    EXPECT_FALSE(firmwareEnabled());
}

TEST_F(Poll, DoesNothingWhilePollingIsOff)
{
    Adapter &adapter = readyMax();
    VantrelUpdaterWidget *panel = shownPanel();
    window->setPollingEnabled(false);
    window->panelValid = false;
    bus.detach(adapter.device());
    const int setsBefore = observer.listings();
    tick();
    EXPECT_EQ(observer.listings(), setsBefore) << "nothing is listed";
    EXPECT_EQ(shownPanel(), panel);
    EXPECT_FALSE(window->panelValid);

    window->setPollingEnabled(true);
    tick();
    EXPECT_TRUE(blankShown());
    EXPECT_TRUE(window->panelValid);
}

TEST_F(Poll, AnInvalidPanelIsRebuiltOverTwoTicks)
{
    readyMax();
    QPointer<VantrelUpdaterWidget> panel = shownPanel();
    window->panelValid = false;
    tick();
    EXPECT_TRUE(panel.isNull());
    EXPECT_TRUE(window->panelValid);
    tick();
    EXPECT_NE(shownPanel(), nullptr);
    EXPECT_EQ(observer.linksOpened(), 2);
}

}  // namespace
