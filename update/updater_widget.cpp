#include "update/updater_widget.h"

#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/latin1.h"
#include "app/slot_guard.h"
#include "app/updater.h"
#include "app/window_history.h"
#include "loader/loader_info.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/adapter_work.h"
#include "update/firmware_image.h"
#include "update/install_engine.h"

namespace {

const QString versionCaption = QStringLiteral("<b>Version: </b>");

// A titled frame whose children stand one above the other.
QGroupBox *columnBox(const QString &title, QWidget *parent, QLayout *into)
{
    auto *box = new QGroupBox(title, parent);
    new QVBoxLayout(box);
    into->addWidget(box);
    return box;
}

}  // namespace

UpdaterWidget::UpdaterWidget(QWidget *parent) : QWidget(parent) {}

CarriedImageView viewOfCarriedImage(const FirmwareImage &entry)
{
    const std::optional<std::string> version = carriedVersion(entry);
    if (!version)
        return {QStringLiteral("<i>%1</i>").arg(QLatin1String(invalidImageText)), QString(), false};
    // Counted bytes, not a C string: the text carries no terminator.
    const QString notes = entry.releaseNotes ? latin1Text({entry.releaseNotes, entry.releaseNotesLength}) : QString();
    return {latin1Text(*version), notes, true};
}

namespace {

// What the window's status line says while a task runs; the window shows
// no comparison, which only the command-line tool asks for.
const char *statusTextOf(InstallTask task)
{
    switch (task) {
    case InstallTask::erase: return "Erasing memory, do not remove Vantrel";
    case InstallTask::download: return "Downloading firmware, do not remove Vantrel";
    case InstallTask::verify: return "Verifying firmware";
    default: return nullptr;
    }
}

}  // namespace

// The panel's side of the install sequence: the window's progress display
// and poll, and the panel's button.
class VantrelUpdaterWidget::Host : public InstallHost {
public:
    explicit Host(VantrelUpdaterWidget &panel) : panel_(panel) {}

    void taskStarted(InstallTask task, int bytes) override
    {
        task_ = task;
        total_ = bytes;
        const char *text = statusTextOf(task);
        shown_ = text != nullptr;
        if (shown_)
            emit panel_.progress(0, bytes, text, "bytes");
    }
    void taskProgress(int bytesDone) override
    {
        if (shown_)
            emit panel_.progress(bytesDone, -1, nullptr, nullptr);
    }
    void setInstallEnabled(bool enabled) override { panel_.installButton->setEnabled(enabled); }
    void setPollingEnabled(bool enabled) override { theUpdater->setPollingEnabled(enabled); }
    void invalidatePanel() override { theUpdater->panelValid = false; }
    // Not shown: for the history, how far a task got that ended early.
    void taskEndedEarly(int bytesDone) override { stopped_ = TaskStop{task_, bytesDone, total_}; }

    const std::optional<TaskStop> &stopped() const { return stopped_; }

private:
    VantrelUpdaterWidget &panel_;
    bool shown_ = false;
    InstallTask task_ = InstallTask::connect;
    int total_ = 0;
    std::optional<TaskStop> stopped_;
};

VantrelUpdaterWidget::VantrelUpdaterWidget(const UsbDeviceInfo &deviceInfo, QWidget *parent)
    : UpdaterWidget(parent), device(deviceInfo)
{
    auto *layout = new QVBoxLayout(this);
    auto *column = new QWidget(this);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(2, 2, 2, 2);
    columnLayout->setSpacing(2);
    layout->addWidget(column, 0);

    QGroupBox *installedBox = columnBox(QStringLiteral("Currently Installed Firmware"), column, columnLayout);
    installedVersionLabel = new QLabel(installedBox);
    installedVersionLabel->setObjectName(QStringLiteral("installedVersionLabel"));
    installedVersionLabel->setToolTip(
        QStringLiteral("The version description of the firmware currently installed on the Vantrel"));
    installedBox->layout()->addWidget(installedVersionLabel);

    columnLayout->addWidget(new QLabel(column));

    QGroupBox *imageBox = columnBox(QStringLiteral("Install Firmware"), column, columnLayout);
    imageVersionLabel = new QLabel(imageBox);
    imageVersionLabel->setObjectName(QStringLiteral("imageVersionLabel"));
    imageVersionLabel->setToolTip(QStringLiteral("The version description of the currently selected firmware image file"));
    imageBox->layout()->addWidget(imageVersionLabel);

    releaseNotesView = new QTextEdit(imageBox);
    releaseNotesView->setObjectName(QStringLiteral("releaseNotesView"));
    releaseNotesView->setReadOnly(true);
    releaseNotesView->setLineWrapMode(QTextEdit::NoWrap);
    QFont notesFont = releaseNotesView->font();
    notesFont.setFamily(QStringLiteral("Courier New"));
    // Where that family is missing, fall back to another fixed-pitch one:
    // the release texts line up in columns.
    notesFont.setStyleHint(QFont::TypeWriter);
    releaseNotesView->setFont(notesFont);
    imageBox->layout()->addWidget(releaseNotesView);

    auto *buttonRow = new QWidget(imageBox);
    auto *buttonLayout = new QHBoxLayout(buttonRow);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(0);
    buttonLayout->addWidget(new QLabel(buttonRow), 1);
    installButton = new QPushButton(QStringLiteral("&Install Firmware"), buttonRow);
    installButton->setObjectName(QStringLiteral("installButton"));
    installButton->setDefault(true);
    installButton->setToolTip(QStringLiteral("Click to download selected firmware image onto Vantrel"));
    buttonLayout->addWidget(installButton);
    imageBox->layout()->addWidget(buttonRow);

    connect(installButton, &QPushButton::clicked, this, &VantrelUpdaterWidget::updateFirmware);

    link = openAdapterLink(device);
    // The installed version is all that is asked: no connect goes before.
    LoaderInfo info;
    link->getLoaderInfo(info);
    installedBefore = installedVersion(info);
    installedVersionLabel->setText(versionCaption + (installedBefore ? latin1Text(*installedBefore)
                                                                     : QStringLiteral("<i>%1</i>").arg(QLatin1String(notInstalledText))));
    notInstalled = !installedBefore;

    updateImageInfo();
}

VantrelUpdaterWidget::~VantrelUpdaterWidget() = default;

void VantrelUpdaterWidget::updateImageInfo()
{
    const CarriedImageView view = viewOfCarriedImage(*device.firmwareImage());
    installButton->setEnabled(view.installable);
    imageVersionLabel->setText(versionCaption + view.versionText);
    // Plain text or HTML, as the toolkit judges the release text.
    releaseNotesView->setText(view.releaseNotes);
}

void VantrelUpdaterWidget::updateFirmware()
{
    guardSlot([this] {
        Host host(*this);
        FirmwareInstaller installer(device, link, notInstalled, host);
        // What the history keeps of the install: the window reads the
        // adapter again only at its next poll, so no version after it.
        AdapterResult result;
        result.device = device;
        result.entry = device.firmwareImage();
        result.before = installedBefore;
        const double start = platform::secondsNow();
        try {
            installer.run();
            result.outcome = Outcome::installed;
        } catch (const HException &e) {
            result.failure = failureOf(e);
            result.task = installer.task();
            result.stoppedIn = host.stopped();
            result.seconds = platform::secondsNow() - start;
            keepWindowInstall(result);
            throw;
        }
        result.seconds = platform::secondsNow() - start;
        keepWindowInstall(result);
    });
}
