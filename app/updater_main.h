#pragma once

#include <functional>
#include <memory>

#include <QString>

class QApplication;
class SingleInstance;
class Updater;

// The id that one running updater per user session holds.
inline const QString applicationId = QStringLiteral("Vantrel Update");

// What a caller of runUpdater() can change: the demo follows the window,
// tests make a window that fails.
struct UpdaterHooks {
    // Makes the window; empty: Updater with no parent.
    std::function<std::unique_ptr<Updater>()> makeWindow;
    // Runs once the window is shown, just before the event loop.
    std::function<void(Updater &, SingleInstance &)> started;
};

// Everything main does once the application object exists: the single-
// instance check (a later start forwards `firstArgument` and ends), the
// window, and the event loop until the window is closed. Returns the
// process's exit code, which is always 0.
int runUpdater(QApplication &app, const char *firstArgument, const UpdaterHooks &hooks = {});
