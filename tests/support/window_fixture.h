#pragma once

#include <memory>
#include <ostream>

#include <QGroupBox>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTimer>

#include "app/updater.h"
#include "simulation/simulated_adapter.h"
#include "tests/support/bus_fixture.h"
#include "update/updater_widget.h"

inline const QString serialCaption = QStringLiteral("<b>Serial Number:</b> ");
inline const QString variantCaption = QStringLiteral("<b>Variant:</b> ");

// The window on a virtual bus with the virtual clock. The test gives the
// ticks: the window's own timer is stopped, so that nothing polls behind
// the test's back while it waits for a box.
class WindowFixture : public BusFixture {
protected:
    std::unique_ptr<Updater> window;

    void TearDown() override
    {
        window.reset();  // its panel's link before the bus
        theUpdater = nullptr;
    }

    Updater &openWindow()
    {
        window = std::make_unique<Updater>();
        theUpdater = window.get();
        window->findChild<QTimer *>(QStringLiteral("pollTimer"))->stop();
        window->show();
        return *window;
    }

    simulation::Adapter &attach(std::uint16_t productId, const std::string &serial = "04020001")
    {
        return simulation::attach(bus, simulation::simulatedAdapter(productId, serial));
    }

    void tick() { QMetaObject::invokeMethod(window.get(), "poll", Qt::DirectConnection); }

    template <typename W = QWidget>
    W *part(const char *name) const
    {
        return window->findChild<W *>(QString::fromLatin1(name));
    }
    QString status() const { return part<QLabel>("statusLabel")->text(); }
    QString variantText() const { return part<QLabel>("variantLabel")->text(); }
    QString serialText() const { return part<QLabel>("serialLabel")->text(); }
    // The hardware labels show their captions and nothing else.
    bool captionsOnly() const { return variantText() == variantCaption && serialText() == serialCaption; }
    bool hardwareEnabled() const { return part("hardwareBox")->isEnabled(); }
    bool firmwareEnabled() const { return part("firmwareBox")->isEnabled(); }
    QProgressBar *bar() const { return part<QProgressBar>("progressBar"); }
    // The panel on show, or null when the blank page is.
    VantrelUpdaterWidget *shownPanel() const
    {
        return qobject_cast<VantrelUpdaterWidget *>(part<QStackedWidget>("panelStack")->currentWidget());
    }
    bool blankShown() const { return part<QStackedWidget>("panelStack")->currentWidget() == part("blankPage"); }
};

// Found by gtest through the argument's namespace, which is the global one.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

inline const QString noDevices = QStringLiteral("No devices connected, attach the Vantrel you wish to configure.");
