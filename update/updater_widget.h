#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QString>
#include <QWidget>

#include "datalink/data_link.h"
#include "discovery/usb_device_info.h"

class QLabel;
class QPushButton;
class QTextEdit;
struct FirmwareImage;

// A firmware panel: the widget that reports the progress of its long tasks.
class UpdaterWidget : public QWidget {
    Q_OBJECT

public:
    explicit UpdaterWidget(QWidget *parent = nullptr);

signals:
    // steps -1 keeps the total that the task's first report set; a null
    // taskdesc leaves the status line alone; units names what is counted.
    void progress(int step, int steps = -1, const char *taskdesc = nullptr, const char *units = nullptr);
};

// What the panel shows of a carried image.
struct CarriedImageView {
    QString versionText;  // rich text, after the "Version: " caption
    QString releaseNotes;
    bool installable;
};
CarriedImageView viewOfCarriedImage(const FirmwareImage &entry);

// The panel for one attached adapter of the family: the installed firmware,
// the carried image with its release history, and the install button. It
// holds the link to the adapter for its whole life.
class VantrelUpdaterWidget : public UpdaterWidget {
    Q_OBJECT

public:
    // Opens the adapter and asks its boot loader what is installed; throws
    // HException when either fails.
    VantrelUpdaterWidget(const UsbDeviceInfo &device, QWidget *parent);
    ~VantrelUpdaterWidget() override;

protected slots:
    void updateImageInfo();
    // The install sequence; its failures are shown in the "Error" box.
    void updateFirmware();

private:
    class Host;

    bool notInstalled = true;
    std::optional<std::string> installedBefore;  // as read when the panel was made
    QLabel *installedVersionLabel = nullptr;
    QLabel *imageVersionLabel = nullptr;
    QTextEdit *releaseNotesView = nullptr;
    QPushButton *installButton = nullptr;
    UsbDeviceInfo device;
    std::unique_ptr<HDataLink> link;
};
