#pragma once

#include <QApplication>

// The application object. Its notify() is the safety net behind the slot
// guards: an HException that still reaches the event dispatch is shown in the
// "Error" box instead of unwinding through the event loop.
class UpdaterApplication : public QApplication {
public:
    UpdaterApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
