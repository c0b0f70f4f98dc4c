// The device poll: what the window shows follows from what is attached.

#include <QByteArray>
#include <QGroupBox>
#include <QStackedWidget>

#include "app/latin1.h"
#include "app/updater.h"
#include "datalink/hexception.h"
#include "update/attached_adapters.h"
#include "update/firmware_image.h"
#include "update/updater_widget.h"

void Updater::poll()
{
    // An install is running and lets ticks through while it reports progress.
    if (!pollingEnabled)
        return;
    try {
        const DeviceList devices = attachedAdapters();
        if (currentPanel) {
            // Byte for byte: a serial number differing only in case is another adapter.
            const bool sameAdapter = devices.size() == 1 && panelValid &&
                                     currentSerial.toLatin1() == QByteArray::fromStdString(devices[0].serialNumber);
            // Only the panel goes now; the next poll shows the new situation.
            if (!sameAdapter)
                discardPanel();
        } else if (devices.empty()) {
            setStatus(QString::fromLatin1(noAdaptersText), false);
            clearHardwareArea();
        } else if (devices.size() > 1) {
            setStatus(QString::fromLatin1(severalAdaptersText), false);
            clearHardwareArea();
        } else if (const FirmwareImage *entry = devices[0].firmwareImage(); !entry) {
            setStatus(QString::fromLatin1(unsupportedAdapterText), false);
        } else {
            // Opens the adapter and reads its loader information: this is
            // what fails for an adapter that is held elsewhere or silent.
            currentPanel = new VantrelUpdaterWidget(devices[0], panelStack);
            connect(currentPanel, &UpdaterWidget::progress, this, &Updater::progress);
            panelStack->addWidget(currentPanel);
            currentSerial = latin1Text(devices[0].serialNumber);
            panelStack->setCurrentWidget(currentPanel);
            setSerialNumber(currentSerial);
            setVariant(latin1Text(entry->variantName));
            firmwareBox->setEnabled(true);
            setStatus(QString::fromLatin1(adapterReadyText), false);
            hardwareBox->setEnabled(true);
        }
    } catch (const HException &e) {
        // panelValid keeps its value, so the next tick tries again.
        showPanelFailure(latin1Text(e.message()));
        return;
    }
    panelValid = true;
}

void Updater::discardPanel()
{
    panelStack->setCurrentWidget(blankPage);
    panelStack->removeWidget(currentPanel);
    delete currentPanel;  // and with it the panel's data link
    currentPanel = nullptr;
}

void Updater::clearHardwareArea()
{
    setSerialNumber(QString());
    setVariant(QString());
    hardwareBox->setEnabled(false);
    firmwareBox->setEnabled(false);
    currentSerial.clear();
    panelStack->setCurrentWidget(blankPage);
}

void Updater::showPanelFailure(const QString &message)
{
    setStatus(message, false);
    setSerialNumber(QString());
    setVariant(QString());
    hardwareBox->setEnabled(true);
    firmwareBox->setEnabled(false);
}
