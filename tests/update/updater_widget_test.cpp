#include "update/updater_widget.h"

#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include <sqlite3.h>

#include <QGroupBox>
#include <QMetaMethod>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/window_history.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "tests/history/history_fixture.h"
#include "tests/support/error_boxes.h"
#include "tests/support/window_fixture.h"
#include "update/firmware_image.h"

namespace {

using namespace std::chrono_literals;
using simulation::Adapter;
using simulation::LoaderFault;
using simulation::simulatedAdapter;

std::vector<std::uint8_t> imageWithVersion(std::uint16_t major, std::uint16_t minor, const char *buildText)
{
    std::vector<std::uint8_t> image(256, 0x5A);
    const std::uint32_t magic = firmwareImageMagic;
    std::memcpy(image.data(), &magic, 4);
    std::memcpy(image.data() + 20, &major, 2);
    std::memcpy(image.data() + 22, &minor, 2);
    std::memset(image.data() + 24, 0, 40);
    std::memcpy(image.data() + 24, buildText, std::strlen(buildText));
    return image;
}

// A panel of its own, without the window.
class Panel : public BusFixture {
protected:
    QWidget parent;

    std::unique_ptr<VantrelUpdaterWidget> panelFor(const Adapter &adapter)
    {
        return std::make_unique<VantrelUpdaterWidget>(recordOf(adapter), &parent);
    }
    template <typename W>
    static W *in(QWidget &panel, const char *name)
    {
        return panel.findChild<W *>(QString::fromLatin1(name));
    }
};

TEST_F(Panel, ShowsTheInstalledAndTheCarriedFirmware)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(16, "04020001"));
    const std::vector<std::uint8_t> installed = imageWithVersion(2, 16, "X");
    adapter.loader().eraseAll();
    adapter.loader().loadImage(installed.data(), installed.size());
    auto panel = panelFor(adapter);

    EXPECT_EQ(in<QLabel>(*panel, "installedVersionLabel")->text(), "<b>Version: </b>2.16 - X");
    const FirmwareImage &entry = *recordOf(adapter).firmwareImage();
    EXPECT_EQ(in<QLabel>(*panel, "imageVersionLabel")->text(),
              "<b>Version: </b>" + QString::fromStdString(*carriedVersion(entry)));
    auto *notes = in<QTextEdit>(*panel, "releaseNotesView");
    EXPECT_EQ(notes->toPlainText().toStdString(), std::string(entry.releaseNotes, entry.releaseNotesLength));
    EXPECT_TRUE(in<QPushButton>(*panel, "installButton")->isEnabled());
    // Only the loader information was asked for: no connect.
    EXPECT_EQ(adapter.loader().commandCount(0x08), 1);
    EXPECT_EQ(adapter.loader().commandCount(0x01), 0);
}

TEST_F(Panel, ShowsNotInstalledForAnErasedAdapterAndStillOffersTheInstall)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(5, "04020001"));
    auto panel = panelFor(adapter);
    EXPECT_EQ(in<QLabel>(*panel, "installedVersionLabel")->text(), "<b>Version: </b><i>Not Installed</i>");
    EXPECT_TRUE(in<QPushButton>(*panel, "installButton")->isEnabled());
}

TEST_F(Panel, HasItsTextsToolTipsAndLayout)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(16, "04020001"));
    auto panel = panelFor(adapter);
    const QList<QGroupBox *> boxes = panel->findChildren<QGroupBox *>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0]->title(), "Currently Installed Firmware");
    EXPECT_EQ(boxes[1]->title(), "Install Firmware");
    EXPECT_EQ(in<QLabel>(*panel, "installedVersionLabel")->toolTip(),
              "The version description of the firmware currently installed on the Vantrel");
    EXPECT_EQ(in<QLabel>(*panel, "imageVersionLabel")->toolTip(),
              "The version description of the currently selected firmware image file");

    auto *notes = in<QTextEdit>(*panel, "releaseNotesView");
    EXPECT_TRUE(notes->isReadOnly());
    EXPECT_EQ(notes->lineWrapMode(), QTextEdit::NoWrap);
    EXPECT_EQ(notes->font().family(), "Courier New");

    auto *button = in<QPushButton>(*panel, "installButton");
    EXPECT_EQ(button->text(), "&Install Firmware");
    EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_I));
    EXPECT_TRUE(button->isDefault());
    EXPECT_EQ(button->toolTip(), "Click to download selected firmware image onto Vantrel");

    auto *layout = new QVBoxLayout(&parent);
    layout->addWidget(panel.get());
    parent.resize(600, 400);
    parent.show();
    EXPECT_LT(boxes[0]->y(), boxes[1]->y());
    EXPECT_LT(notes->y(), button->parentWidget()->y());
    // The stretching label keeps the button at the right edge.
    EXPECT_GT(button->x(), button->parentWidget()->width() / 2);
}

TEST_F(Panel, OpensItsLinkWithAMinuteTimeOut)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(16, "04020001"));
    adapter.loader().injectFault(0x08, LoaderFault::noReply);
    const std::int64_t before = clock.nowMicroseconds();
    EXPECT_EQ(messageOf([&] { panelFor(adapter); }), "read operation timed out");
    const std::int64_t waited = clock.nowMicroseconds() - before;
    EXPECT_GE(waited, 60'000'000);
    EXPECT_LT(waited, 61'000'000);
    EXPECT_EQ(observer.openHandles(), 0);
}

TEST_F(Panel, ThrowsWhenTheAdapterIsHeldElsewhere)
{
    Adapter &adapter = simulation::attach(bus, simulatedAdapter(3, "04020001"));
    adapter.device().setBusy(true);
    EXPECT_EQ(messageOf([&] { panelFor(adapter); }), "device already in use");
    EXPECT_TRUE(parent.children().isEmpty()) << "no panel is left behind";
    EXPECT_EQ(observer.openHandles(), 0);
}

TEST(CarriedImageView, FollowsTheImagesValidity)
{
    const std::vector<std::uint8_t> valid = imageWithVersion(1, 5, "B");
    const char notes[] = "line one\nline two, no terminator counted";
    const auto notesLength = static_cast<std::uint32_t>(std::strlen("line one\nline two"));
    const struct {
        const char *name;
        FirmwareImage entry;
        const char *version;
        const char *notes;
        bool installable;
    } cases[] = {
        {"valid", {"v", 0, valid.data(), 256, notes, notesLength, false}, "1.5 - B", "line one\nline two", true},
        {"null notes", {"v", 0, valid.data(), 256, nullptr, 99, false}, "1.5 - B", "", true},
        {"too short", {"v", 0, valid.data(), 63, notes, notesLength, false}, "<i>Invalid Firmware Image</i>", "",
         false},
        {"no magic", {"v", 0, valid.data() + 1, 255, notes, notesLength, false}, "<i>Invalid Firmware Image</i>",
         "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CarriedImageView view = viewOfCarriedImage(c.entry);
        EXPECT_EQ(view.versionText, QString::fromLatin1(c.version));
        EXPECT_EQ(view.releaseNotes, QString::fromLatin1(c.notes));
        EXPECT_EQ(view.installable, c.installable);
    }
}

TEST(PanelMetaObjects, DeclareTheProgressSignalWithItsDefaultFormsAndTheTwoSlots)
{
    const QMetaObject &base = UpdaterWidget::staticMetaObject;
    EXPECT_STREQ(base.className(), "UpdaterWidget");
    const char *const forms[] = {"progress(int,int,const char*,const char*)", "progress(int,int,const char*)",
                                 "progress(int,int)", "progress(int)"};
    ASSERT_EQ(base.methodCount() - base.methodOffset(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(base.method(base.methodOffset() + i).methodSignature(), forms[i]);
        EXPECT_EQ(base.method(base.methodOffset() + i).methodType(), QMetaMethod::Signal);
    }

    const QMetaObject &panel = VantrelUpdaterWidget::staticMetaObject;
    EXPECT_STREQ(panel.className(), "VantrelUpdaterWidget");
    ASSERT_EQ(panel.methodCount() - panel.methodOffset(), 2);
    EXPECT_EQ(panel.method(panel.methodOffset()).methodSignature(), "updateImageInfo()");
    EXPECT_EQ(panel.method(panel.methodOffset() + 1).methodSignature(), "updateFirmware()");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(panel.method(panel.methodOffset() + i).methodType(), QMetaMethod::Slot);
        EXPECT_EQ(panel.method(panel.methodOffset() + i).access(), QMetaMethod::Protected);
    }
}

TEST(PanelSignal, ShortFormsDeliverTheDefaults)
{
    UpdaterWidget widget;
    struct Report {
        int step, steps;
        const char *taskdesc, *units;
    };
    std::vector<Report> reports;
    QObject::connect(&widget, &UpdaterWidget::progress,
                     [&](int step, int steps, const char *taskdesc, const char *units) {
                         reports.push_back({step, steps, taskdesc, units});
                     });
    emit widget.progress(7);
    emit widget.progress(8, 20);
    ASSERT_EQ(reports.size(), 2U);
    EXPECT_EQ(reports[0].steps, -1);
    EXPECT_EQ(reports[0].taskdesc, nullptr);
    EXPECT_EQ(reports[0].units, nullptr);
    EXPECT_EQ(reports[1].step, 8);
    EXPECT_EQ(reports[1].steps, 20);
    // Through the meta-object, as a string-based connection would have it.
    const int index = widget.metaObject()->indexOfSignal("progress(int)");
    ASSERT_GE(index, 0);
    widget.metaObject()->method(index).invoke(&widget, Qt::DirectConnection, Q_ARG(int, 9));
    ASSERT_EQ(reports.size(), 3U);
    EXPECT_EQ(reports[2].step, 9);
    EXPECT_EQ(reports[2].steps, -1);
}

// The install, started by a click on the window's panel.
class Install : public WindowFixture {
protected:
    Adapter *adapter = nullptr;

    // An ARM Basic running firmware: it reboots into its loader on connect,
    // so the install re-opens the link.
    VantrelUpdaterWidget &readyRebootingAdapter()
    {
        adapter = &attach(4, "04020001");
        const std::vector<std::uint8_t> older = imageWithVersion(1, 4, "older");
        adapter->loader().eraseAll();
        adapter->loader().loadImage(older.data(), older.size());
        adapter->setReenumerateOnConnect(400);
        openWindow();
        EXPECT_EQ(status(), "Device ready.");
        return *shownPanel();
    }

    static QPushButton &buttonOf(VantrelUpdaterWidget &panel)
    {
        return *panel.findChild<QPushButton *>(QStringLiteral("installButton"));
    }
    static void click(VantrelUpdaterWidget &panel) { QTest::mouseClick(&buttonOf(panel), Qt::LeftButton); }
};

TEST_F(Install, ASuccessfulInstallClearsTheBarAndTheNextTwoTicksShowTheNewVersion)
{
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    // What the window is like at every report, and whether a tick during
    // the install changed anything.
    int reports = 0;
    bool pollingOffThroughout = true, buttonOffThroughout = true;
    const int setsBefore = observer.listings();
    QObject::connect(&panel, &UpdaterWidget::progress, [&] {
        ++reports;
        pollingOffThroughout = pollingOffThroughout && !window->pollingEnabled;
        buttonOffThroughout = buttonOffThroughout && !buttonOf(panel).isEnabled();
        tick();
    });
    ErrorBoxes boxes;

    QPointer<VantrelUpdaterWidget> clicked = &panel;
    click(panel);
    EXPECT_GT(reports, 6);
    EXPECT_TRUE(pollingOffThroughout);
    EXPECT_TRUE(buttonOffThroughout);
    EXPECT_EQ(observer.listings(), setsBefore) << "no tick listed devices during the install";
    EXPECT_EQ(status(), "");
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_TRUE(buttonOf(panel).isEnabled());
    EXPECT_TRUE(window->pollingEnabled);
    EXPECT_FALSE(window->panelValid);
    EXPECT_EQ(adapter->reenumerations(), 1);
    const FirmwareImage &entry = *recordOf(*adapter).firmwareImage();
    EXPECT_EQ(adapter->loader().crcOf(entry.loadAddress, entry.imageSize), crc32(entry.image, entry.imageSize));

    tick();
    EXPECT_TRUE(clicked.isNull());
    EXPECT_TRUE(blankShown());
    tick();
    ASSERT_NE(shownPanel(), nullptr);
    EXPECT_EQ(status(), "Device ready.");
    EXPECT_EQ(shownPanel()->findChild<QLabel *>(QStringLiteral("installedVersionLabel"))->text(),
              "<b>Version: </b>" + QString::fromStdString(*carriedVersion(entry)));
    EXPECT_TRUE(boxes.waitFor(0).empty());
}

TEST_F(Install, AFailureShowsOneErrorBoxAndKeepsThePanel)
{
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    adapter->loader().injectFault(0x03, LoaderFault::statusZero, 3);
    ErrorBoxes boxes;
    click(panel);
    EXPECT_TRUE(boxes.seen().empty()) << "the box opens once the slot has returned";
    EXPECT_TRUE(buttonOf(panel).isEnabled());
    EXPECT_TRUE(window->pollingEnabled);
    EXPECT_TRUE(window->panelValid);
    EXPECT_EQ(status(), "");
    EXPECT_EQ(bar()->value(), 0);

    const auto &seen = boxes.waitFor(1);
    ASSERT_EQ(seen.size(), 1U);
    ErrorBoxes::expectErrorBox(seen[0], QStringLiteral("Download failed : memory write failed"));

    tick();
    EXPECT_EQ(shownPanel(), &panel);
    EXPECT_EQ(adapter->loader().commandCount(0x07), 0) << "no verify";
    EXPECT_EQ(adapter->loader().commandCount(0x02), 0) << "no disconnect";
}

TEST_F(Install, TwoFailuresInARowGiveTwoBoxes)
{
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    adapter->loader().injectFault(0x07, LoaderFault::wrongCrc);
    ErrorBoxes boxes;
    click(panel);
    ASSERT_EQ(boxes.waitFor(1).size(), 1U);
    click(panel);
    const auto &seen = boxes.waitFor(2);
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0].text, "Verify failed : crc check mismatch");
    EXPECT_EQ(seen[1].text, "Verify failed : crc check mismatch");
    EXPECT_EQ(shownPanel(), &panel);
}

TEST_F(Install, AClickOnAPanelLeftWithoutALinkMakesOneFirst)
{
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    adapter->setReenumerateOnConnect(0xFFFFFFFFU);  // it never comes back
    ErrorBoxes boxes;
    click(panel);
    ASSERT_EQ(boxes.waitFor(1).size(), 1U);
    EXPECT_EQ(boxes.seen()[0].text, "cannot open device driver");
    EXPECT_EQ(observer.openHandles(), 0) << "all eleven links failed: the panel has none";

    // Back at last, as its boot loader: the next click opens a link and installs.
    bus.reattach(adapter->device());
    click(panel);
    EXPECT_EQ(boxes.waitFor(1).size(), 1U);
    EXPECT_FALSE(window->panelValid) << "the install completed";
}

// Every install from the panel is kept in the history, and nothing the
// window shows changes for it: no text, no box.
class KeptInstall : public Install {
protected:
    TemporaryFolder folder;
    const std::string file = (folder / "history.sqlite").string();
    std::optional<WindowHistory> windowHistory;

    void keepIn(const std::string &location)
    {
        windowHistory.emplace(history::parseLocation(location),
                              history::HistoryOptions{.spoolFile = folder / "spool.sqlite"});
    }
    // What reached the store, once the window's history has ended.
    std::vector<history::HistoryEntry> kept()
    {
        windowHistory.reset();
        history::History reader(history::parseLocation(file), {.spoolFile = folder / "reader-spool.sqlite"});
        return reader.query({});
    }
};

TEST_F(KeptInstall, AFailedAndASuccessfulInstallAreEachOneEntry)
{
    keepIn(file);
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    adapter->loader().injectFault(0x03, LoaderFault::statusZero, 3);
    ErrorBoxes boxes;
    click(panel);
    ASSERT_EQ(boxes.waitFor(1).size(), 1U);
    click(panel);
    EXPECT_EQ(boxes.waitFor(1).size(), 1U) << "the second install succeeds, without a box";
    EXPECT_EQ(status(), "");

    const std::vector<history::HistoryEntry> entries = kept();
    ASSERT_EQ(entries.size(), 2U);
    const FirmwareImage &image = *recordOf(*adapter).firmwareImage();
    for (const history::HistoryEntry &entry : entries) {
        EXPECT_EQ(entry.program, "vantrel-update");
        EXPECT_EQ(entry.serial, "04020001");
        EXPECT_EQ(entry.variant, image.variantName);
        EXPECT_EQ(entry.firmwareBefore, "1.4 - older");
        EXPECT_EQ(entry.firmwareAfter, std::nullopt) << "the window reads the adapter again at its next poll";
        EXPECT_EQ(entry.carriedVersion, carriedVersion(image));
        EXPECT_EQ(entry.imageCrc32, crc32(image.image, image.imageSize));
    }
    EXPECT_EQ(entries[0].outcome, "failed");
    EXPECT_EQ(entries[0].errorKind, "write-failed");
    EXPECT_EQ(entries[0].message, "Download failed : memory write failed");
    ASSERT_TRUE(entries[0].stoppedIn);
    EXPECT_EQ(entries[0].stoppedIn->task, "write");
    EXPECT_EQ(entries[0].stoppedIn->done, 2 * 4096) << "two pieces went before the third failed";
    EXPECT_EQ(entries[1].outcome, "installed");
    EXPECT_EQ(entries[1].errorKind, std::nullopt);
    EXPECT_EQ(entries[1].stoppedIn, std::nullopt);
}

// A file that another program holds: the window does not wait for it.
TEST_F(KeptInstall, TheWindowDoesNotWaitForTheHistory)
{
    history::History(history::parseLocation(file), {.spoolFile = folder / "spool.sqlite"}).query({});
    sqlite3 *locker = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &locker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    windowHistory.emplace(history::parseLocation(file),
                          history::HistoryOptions{.spoolFile = folder / "spool.sqlite", .busyTimeout = 5000ms});
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    const auto start = std::chrono::steady_clock::now();
    click(panel);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms) << "the click waited for the locked file";
    EXPECT_FALSE(window->panelValid) << "the install completed";
    sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
    EXPECT_EQ(kept().size(), 1U) << "the entry went in once the file was free";
}

TEST_F(KeptInstall, AHistoryThatCannotKeepItChangesNothingInTheWindow)
{
    // Neither the store nor the spool can be written.
    std::ofstream(file) << std::string(4096, 'x');
    std::ofstream(folder / "a-file") << "not a folder";
    windowHistory.emplace(history::parseLocation(file),
                          history::HistoryOptions{.spoolFile = folder / "a-file" / "spool.sqlite"});
    VantrelUpdaterWidget &panel = readyRebootingAdapter();
    ErrorBoxes boxes;
    click(panel);
    EXPECT_TRUE(boxes.waitFor(0).empty());
    EXPECT_EQ(status(), "");
    EXPECT_FALSE(window->panelValid) << "the install completed";
    windowHistory.reset();
    EXPECT_TRUE(boxes.waitFor(0).empty());
}

}  // namespace
