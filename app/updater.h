#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QGroupBox;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QWidget;
class VantrelUpdaterWidget;

// The one top-level window: the hardware area (variant and serial number),
// the firmware area (the attached adapter's panel or a blank page) and the
// status area (a status line over a progress bar). It owns the poll timer
// and receives every panel's progress reports.
class Updater : public QMainWindow {
    Q_OBJECT

public:
    explicit Updater(QWidget *parent = nullptr);
    ~Updater() override;

    // Upper-case first letter and a final full stop, unless the text is empty
    // or already ends in one.
    void setStatus(const QString &text, bool repaintNow);
    void setSerialNumber(const QString &serial);
    void setVariant(const QString &name);
    void setPollingEnabled(bool enabled);

    // Read and written by the install sequence through theUpdater.
    bool panelValid = true;
    bool pollingEnabled = true;

public slots:
    // The receiving side of the panels' progress contract.
    void progress(int step, int steps, const char *taskdesc, const char *units);

protected slots:
    // The device poll (device_poll.cpp).
    void poll();

private:
    void clearHardwareArea();
    void discardPanel();
    void showPanelFailure(const QString &message);

    QLabel *statusLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    QGroupBox *hardwareBox = nullptr;
    QLabel *serialLabel = nullptr;
    QLabel *variantLabel = nullptr;
    QGroupBox *firmwareBox = nullptr;
    QStackedWidget *panelStack = nullptr;
    QWidget *blankPage = nullptr;
    VantrelUpdaterWidget *currentPanel = nullptr;
    QString currentSerial;
};

// The one window of the process, set by main right after it was made.
extern Updater *theUpdater;

// Where a window of `window` size stands centred on `screen`: right and
// bottom are inclusive coordinates, and the halves truncate toward zero.
QPoint centredPosition(const QRect &screen, const QSize &window);
