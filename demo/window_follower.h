#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "demo/demo_options.h"

class SingleInstance;
class Updater;
class VantrelUpdaterWidget;
class QWidget;

// Follows the window and tells on standard output what it shows: every
// change of the status line, each task's progress by quarters, the panel's
// versions, messages from later starts and "Error" boxes. With --auto-install
// it also clicks Install Firmware once the adapter is ready, closes the box
// of a failure, and closes the window when the install is over.
class WindowFollower : public QObject {
public:
    // `installed` is set once an install clicked by --auto-install has
    // finished; it must outlive the window.
    WindowFollower(Updater &window, SingleInstance &instance, const DemoOptions &options, bool &installed);

private:
    enum class Stage { waiting, installing, rebuilding, done };

    void afterTick();
    bool pollFailed() const;
    void afterProgress(int step, int steps);
    void install();
    void closeErrorBox();
    void finish();
    void takeStatus();
    void screenshot(QWidget &widget, const char *name);

    Updater &window_;
    const DemoOptions &options_;
    bool &installed_;
    QPointer<VantrelUpdaterWidget> panel_;
    QString status_;
    Stage stage_ = Stage::waiting;
    int ticks_ = 0;
    int ticksAfterInstall_ = 0;
    int taskSteps_ = 100;
    int quartersShown_ = 0;
    bool installingShot_ = false;
};
