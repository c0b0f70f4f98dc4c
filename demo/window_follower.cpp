#include "demo/window_follower.h"

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QTimer>

#include "app/single_instance.h"
#include "app/updater.h"
#include "update/attached_adapters.h"
#include "update/updater_widget.h"

namespace {

// Ticks to wait for a ready adapter once it is plugged in.
constexpr int readyTicks = 10;
// How long an "Error" box stays up before --auto-install closes it.
constexpr int errorBoxMilliseconds = 700;

void say(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString plainTextOf(const QLabel *label)
{
    return label ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : QString();
}

}  // namespace

WindowFollower::WindowFollower(Updater &window, SingleInstance &instance, const DemoOptions &options,
                               bool &installed)
    : QObject(&window), window_(window), options_(options), installed_(installed)
{
    connect(&instance, &SingleInstance::messageReceived, this,
            [](const QString &message) { say(QStringLiteral("message from another start: \"%1\"").arg(message)); });
    // Connected after the window's own poll, so it sees what the poll did.
    auto *pollTimer = window.findChild<QTimer *>(QStringLiteral("pollTimer"));
    connect(pollTimer, &QTimer::timeout, this, &WindowFollower::afterTick);
    takeStatus();
    afterTick();
}

void WindowFollower::takeStatus()
{
    const QString status = window_.findChild<QLabel *>(QStringLiteral("statusLabel"))->text();
    if (status == status_)
        return;
    status_ = status;
    say(QStringLiteral("status: ") + (status.isEmpty() ? QStringLiteral("(empty)") : status));
}

void WindowFollower::afterTick()
{
    ++ticks_;
    takeStatus();
    auto *panel = window_.findChild<VantrelUpdaterWidget *>();
    if (panel != panel_) {
        panel_ = panel;
        if (panel) {
            say(QStringLiteral("panel: installed %1, carried %2")
                    .arg(plainTextOf(panel->findChild<QLabel *>(QStringLiteral("installedVersionLabel"))),
                         plainTextOf(panel->findChild<QLabel *>(QStringLiteral("imageVersionLabel")))));
            connect(panel, &UpdaterWidget::progress, this,
                    [this](int step, int steps) { afterProgress(step, steps); });
        }
    }
    if (!options_.autoInstall)
        return;
    switch (stage_) {
    case Stage::waiting:
        if (ticks_ == 1 && status_ == QLatin1String(noAdaptersText))
            screenshot(window_, "no-device");
        if (panel_ && status_ == QLatin1String(adapterReadyText)) {
            screenshot(window_, "device-ready");
            stage_ = Stage::installing;
            // Out of the timer's slot: the install runs to its end in the click.
            QTimer::singleShot(0, this, &WindowFollower::install);
        } else if (pollFailed()) {
            // The window tries again at every tick, and with a silent adapter
            // each try takes the link's whole time-out: nothing to wait for.
            say(QStringLiteral("the adapter did not get ready, giving up: %1").arg(status_));
            finish();
        } else if (ticks_ > options_.attachAfter + readyTicks) {
            say(QStringLiteral("no adapter got ready; giving up"));
            finish();
        }
        break;
    case Stage::rebuilding:
        // One tick discards the panel, the next builds it anew.
        if (++ticksAfterInstall_ == 2) {
            screenshot(window_, "installed");
            finish();
        }
        break;
    case Stage::installing:
    case Stage::done:
        break;
    }
}

bool WindowFollower::pollFailed() const
{
    // Any status but the ones the poll shows for what it found is a failure
    // to read the adapter.
    for (const char *found : {noAdaptersText, severalAdaptersText, unsupportedAdapterText, adapterReadyText})
        if (status_ == QLatin1String(found))
            return false;
    return !status_.isEmpty();
}

void WindowFollower::afterProgress(int step, int steps)
{
    if (steps != -1) {
        taskSteps_ = steps;
        quartersShown_ = 0;
    }
    takeStatus();
    const int quarters = taskSteps_ > 0 ? static_cast<int>(4LL * step / taskSteps_) : 4;
    // The last report of a task comes also when it fails: only the quarters
    // on the way are told.
    if (quarters > quartersShown_ && quarters < 4 && step > 0) {
        quartersShown_ = quarters;
        say(QStringLiteral("  %1%").arg(quarters * 25));
    }
    if (!installingShot_ && status_.startsWith(QStringLiteral("Downloading")) && 2LL * step >= taskSteps_) {
        installingShot_ = true;
        screenshot(window_, "installing");
    }
}

void WindowFollower::install()
{
    say(QStringLiteral("clicking Install Firmware"));
    auto *button = panel_ ? panel_->findChild<QPushButton *>(QStringLiteral("installButton")) : nullptr;
    if (!button || !button->isEnabled()) {
        say(QStringLiteral("the panel has no enabled Install Firmware button"));
        finish();
        return;
    }
    button->click();
    takeStatus();
    // A completed install asks the poll to rebuild the panel; a failed one
    // leaves it and shows the "Error" box.
    if (!window_.panelValid) {
        say(QStringLiteral("install finished"));
        installed_ = true;
        stage_ = Stage::rebuilding;
    } else {
        say(QStringLiteral("install failed"));
        stage_ = Stage::done;
        QTimer::singleShot(errorBoxMilliseconds, this, &WindowFollower::closeErrorBox);
    }
}

void WindowFollower::closeErrorBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box) {
        QTimer::singleShot(50, this, &WindowFollower::closeErrorBox);  // not up yet
        return;
    }
    say(QStringLiteral("\"%1\" box: %2").arg(box->windowTitle(), box->text()));
    screenshot(*box, "error");
    box->button(QMessageBox::Ok)->click();
    // Once the box's own loop has ended.
    QTimer::singleShot(0, this, &WindowFollower::finish);
}

void WindowFollower::finish()
{
    stage_ = Stage::done;
    takeStatus();
    say(QStringLiteral("closing the window"));
    // No more polls: with a silent adapter the next would hold the window
    // for the link's whole time-out before it could close.
    if (auto *pollTimer = window_.findChild<QTimer *>(QStringLiteral("pollTimer")))
        pollTimer->stop();
    // From the event loop: the first look at the window comes before the
    // loop runs, when closing the last window could not end it.
    QTimer::singleShot(0, &window_, [this] { window_.close(); });
}

void WindowFollower::screenshot(QWidget &widget, const char *name)
{
    if (options_.screenshotFolder.empty())
        return;
    const QDir folder(QString::fromStdString(options_.screenshotFolder));
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (widget.grab().save(path))
        say(QStringLiteral("saved ") + path);
    else
        say(QStringLiteral("could not save ") + path);
}
