// The last line of error handling: one "Error" box per HException that
// reaches it, and the event loop goes on.

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "app/error_reporter.h"
#include "app/slot_guard.h"
#include "app/updater_main.h"
#include "datalink/hexception.h"
#include "tests/app/single_instance_place.h"
#include "tests/support/error_boxes.h"
#include "tests/support/window_fixture.h"

namespace {

TEST(ErrorBox, ComesAfterTheGuardedSlotHasReturnedWithExactlyTheMessage)
{
    ErrorBoxes boxes;
    guardSlot([] { throw HException("Verify failed : crc check mismatch"); });
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(boxes.seen().empty());
    const auto &seen = boxes.waitFor(1);
    ASSERT_EQ(seen.size(), 1U);
    ErrorBoxes::expectErrorBox(seen[0], QStringLiteral("Verify failed : crc check mismatch"));
}

TEST(ErrorBox, GuardLetsABodyWithoutFailureRunThrough)
{
    ErrorBoxes boxes;
    int runs = 0;
    guardSlot([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(boxes.waitFor(0).empty());
}

TEST(ErrorBox, EachReportHasABoxOfItsOwnInOrder)
{
    ErrorBoxes boxes;
    reportError(QStringLiteral("first"));
    reportError(QStringLiteral("second"));
    const auto &seen = boxes.waitFor(2);
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0].text, "first");
    EXPECT_EQ(seen[1].text, "second");
}

TEST(ErrorBox, NotifyCatchesWhatAGuardMissedAndTimersGoOnFiring)
{
    ErrorBoxes boxes;
    QTimer repeating;
    int fired = 0;
    QObject::connect(&repeating, &QTimer::timeout, [&] {
        if (++fired == 1)
            throw HException("thrown past every guard");
    });
    repeating.start(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired >= 5; }, 5000)) << "the timer whose slot threw fires again";
    const auto &seen = boxes.waitFor(1);
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].text, "thrown past every guard");
}

// runUpdater() as main calls it, with the single-instance lock in a folder
// of the test's own.
class Entry : public WindowFixture {
protected:
    QTemporaryDir runtimeFolder;
    QByteArray savedRuntime = qgetenv(singleInstanceFolderVariable);

    void SetUp() override { qputenv(singleInstanceFolderVariable, runtimeFolder.path().toLocal8Bit()); }
    void TearDown() override
    {
        qputenv(singleInstanceFolderVariable, savedRuntime);
        // Closing the last window posts a Quit that the finished loop never
        // took. Delivered by a later test's event processing, it would end
        // the next loop that test enters (an error box's) at once.
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
        WindowFixture::TearDown();
    }
};

TEST_F(Entry, AFailureWhileTheWindowIsMadeShowsTheBoxAndEnds)
{
    ErrorBoxes boxes;
    // Should the event loop be entered after all, this ends it and tells.
    bool loopEntered = false;
    QObject thisTest;
    QTimer::singleShot(3000, &thisTest, [&] {
        loopEntered = true;
        QCoreApplication::quit();
    });
    UpdaterHooks hooks;
    hooks.makeWindow = []() -> std::unique_ptr<Updater> { throw HException("cannot make the window"); };
    EXPECT_EQ(runUpdater(*qApp, nullptr, hooks), 0);
    EXPECT_FALSE(loopEntered);
    ASSERT_EQ(boxes.seen().size(), 1U);
    EXPECT_EQ(boxes.seen()[0].text, "cannot make the window");
    EXPECT_EQ(theUpdater, nullptr);
}

TEST_F(Entry, RunsTheWindowUntilItIsClosed)
{
    attach(16);
    Updater *seenWindow = nullptr;
    bool visible = false;
    UpdaterHooks hooks;
    hooks.started = [&](Updater &shown, SingleInstance &) {
        seenWindow = theUpdater;
        visible = shown.isVisible();
        QTimer::singleShot(0, &shown, &QWidget::close);
    };
    EXPECT_EQ(runUpdater(*qApp, nullptr, hooks), 0);
    EXPECT_NE(seenWindow, nullptr);
    EXPECT_TRUE(visible);
    EXPECT_EQ(theUpdater, nullptr) << "the window went with the run";
}

}  // namespace
