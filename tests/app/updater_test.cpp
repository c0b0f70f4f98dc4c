#include "app/updater.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QScreen>
#include <QTest>

#include "tests/support/window_fixture.h"

namespace {

using Window = WindowFixture;

TEST_F(Window, FirstPaintShowsNoDevicesWithBothAreasDisabled)
{
    openWindow();
    EXPECT_EQ(status(), noDevices);
    EXPECT_FALSE(hardwareEnabled());
    EXPECT_FALSE(firmwareEnabled());
    EXPECT_TRUE(captionsOnly());
    EXPECT_TRUE(blankShown());
    // The bar keeps the toolkit's own state until the first report.
    EXPECT_EQ(bar()->minimum(), 0);
    EXPECT_EQ(bar()->maximum(), 100);
    EXPECT_EQ(bar()->value(), -1);
}

TEST_F(Window, HasItsTextsSizeAndPlaceAndPollsEverySecond)
{
    openWindow();
    EXPECT_EQ(window->windowTitle(), "Vantrel Update");
    EXPECT_EQ(part<QGroupBox>("hardwareBox")->title(), "Hardware");
    EXPECT_EQ(part<QGroupBox>("firmwareBox")->title(), "Firmware");
    EXPECT_EQ(part<QGroupBox>("statusBox")->title(), "Status");
    EXPECT_EQ(part("variantLabel")->toolTip(), "The variant of the currently connected Vantrel");
    EXPECT_EQ(part("serialLabel")->toolTip(), "The serial number of the currently connected Vantrel");
    EXPECT_EQ(part<QLabel>("statusLabel")->textFormat(), Qt::AutoText);

    // Variant left of the serial number; hardware above firmware above status.
    EXPECT_LT(part("variantLabel")->x(), part("serialLabel")->x());
    EXPECT_LT(part("hardwareBox")->y(), part("firmwareBox")->y());
    EXPECT_LT(part("firmwareBox")->y(), part("statusBox")->y());
    EXPECT_LT(part("statusLabel")->y(), bar()->y());
    // The firmware area takes the height that the other two leave.
    EXPECT_GT(part("firmwareBox")->height(), part("hardwareBox")->height() + part("statusBox")->height());

    EXPECT_EQ(window->size(), QSize(650, 512));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
#ifdef _WIN32
    // The X display that scripts/test-windows.sh gives Wine.
    const QRect screen(0, 0, 1280, 1024);
    const QPoint centred(314, 255);
#else
    // The offscreen platform's one screen.
    const QRect screen(0, 0, 800, 800);
    const QPoint centred(74, 143);
#endif
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), screen);
    EXPECT_EQ(window->pos(), centred);

    auto *timer = part<QTimer>("pollTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_FALSE(timer->isSingleShot());
}

TEST(CentredPosition, UsesInclusiveEdgesAndTruncatesTowardZero)
{
    const QSize window(650, 512);
    EXPECT_EQ(centredPosition(QRect(0, 0, 1920, 1080), window), QPoint(634, 283));
    EXPECT_EQ(centredPosition(QRect(0, 0, 800, 800), window), QPoint(74, 143));
    EXPECT_EQ(centredPosition(QRect(1920, 0, 1280, 1024), window), QPoint(2234, 255));
    EXPECT_EQ(centredPosition(QRect(0, 0, 801, 801), window), QPoint(75, 144));
    // (-1280 + -1) / 2 is -640, not -641: the divisions truncate.
    EXPECT_EQ(centredPosition(QRect(-1280, -1024, 1280, 1024), window), QPoint(-965, -768));
}

TEST_F(Window, SetStatusCapitalisesAndEndsWithAFullStop)
{
    openWindow();
    const struct {
        const char *given;
        const char *shown;
    } cases[] = {
        {"connect failed", "Connect failed."},
        {"Device ready.", "Device ready."},
        {"", ""},
        {"x", "X."},
        {"erase failed : memory erase failed", "Erase failed : memory erase failed."},
        {"already ends.", "Already ends."},
        {"2 devices", "2 devices."},
    };
    for (const auto &c : cases) {
        window->setStatus(QString::fromLatin1(c.given), false);
        EXPECT_EQ(status(), QString::fromLatin1(c.shown)) << c.given;
    }
}

// Counts the paint events that reach a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST_F(Window, SetStatusPaintsAtOnceOnlyWhenAsked)
{
    openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTest::qWait(20);
    PaintCounter counter;
    part("statusLabel")->installEventFilter(&counter);
    window->setStatus(QStringLiteral("later"), false);
    EXPECT_EQ(counter.paints, 0);
    window->setStatus(QStringLiteral("now"), true);
    EXPECT_EQ(counter.paints, 1);
}

TEST_F(Window, ProgressSetsTheBarAndClearsItWhenTheTaskIsDone)
{
    openWindow();
    window->progress(0, 10, "Erasing memory, do not remove Vantrel", nullptr);
    EXPECT_EQ(status(), "Erasing memory, do not remove Vantrel.");
    EXPECT_EQ(bar()->maximum(), 10);
    EXPECT_EQ(bar()->value(), 0);

    window->progress(4, -1, nullptr, nullptr);
    EXPECT_EQ(bar()->maximum(), 10);
    EXPECT_EQ(bar()->value(), 4);
    EXPECT_EQ(status(), "Erasing memory, do not remove Vantrel.");

    window->progress(10, -1, nullptr, nullptr);
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_EQ(status(), "");
    EXPECT_EQ(bar()->minimum(), 0);

    // Shown and cleared again within the one call.
    window->progress(5, 5, "Verifying firmware", "bytes");
    EXPECT_EQ(bar()->maximum(), 5);
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_EQ(status(), "");
}

TEST_F(Window, ProgressBeforeAnyTotalCountsAgainstAHundred)
{
    openWindow();
    window->progress(30, -1, "Downloading firmware, do not remove Vantrel", nullptr);
    EXPECT_EQ(bar()->maximum(), 100);
    EXPECT_EQ(bar()->value(), 30);
    window->progress(100, -1, nullptr, nullptr);
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_EQ(status(), "");
}

TEST_F(Window, ProgressLetsPendingEventsThrough)
{
    openWindow();
    bool ran = false;
    QObject thisTest;
    QTimer::singleShot(0, &thisTest, [&] { ran = true; });
    window->progress(1, 10, nullptr, nullptr);
    EXPECT_TRUE(ran);
}

TEST(WindowMetaObject, HasTheProgressSlotThenThePoll)
{
    const QMetaObject &meta = Updater::staticMetaObject;
    EXPECT_STREQ(meta.className(), "Updater");
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 2);
    const QMetaMethod progress = meta.method(meta.methodOffset());
    EXPECT_EQ(progress.methodSignature(), "progress(int,int,const char*,const char*)");
    EXPECT_EQ(progress.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(progress.access(), QMetaMethod::Public);
    EXPECT_EQ(progress.parameterNames(), (QList<QByteArray>{"step", "steps", "taskdesc", "units"}));
    const QMetaMethod poll = meta.method(meta.methodOffset() + 1);
    EXPECT_EQ(poll.methodSignature(), "poll()");
    EXPECT_EQ(poll.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(poll.access(), QMetaMethod::Protected);
}

}  // namespace
