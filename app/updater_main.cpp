#include "app/updater_main.h"

#include <QApplication>

#include "app/error_reporter.h"
#include "app/latin1.h"
#include "app/single_instance.h"
#include "app/updater.h"
#include "datalink/hexception.h"

namespace {

constexpr int forwardTimeout = 5000;  // milliseconds

}  // namespace

int runUpdater(QApplication &app, const char *firstArgument, const UpdaterHooks &hooks)
{
    SingleInstance instance(applicationId);
    if (instance.isRunning()) {
        // Whether it arrived changes nothing: this start ends either way.
        instance.sendMessage(QString::fromLatin1(firstArgument), forwardTimeout);
        return 0;
    }
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);

    std::unique_ptr<Updater> window;
    try {
        window = hooks.makeWindow ? hooks.makeWindow() : std::make_unique<Updater>(nullptr);
        theUpdater = window.get();
        window->show();
    } catch (const HException &e) {
        // Without a window nothing would ever end the event loop.
        showErrorBox(latin1Text(e.message()));
        theUpdater = nullptr;
        return 0;
    }
    if (hooks.started)
        hooks.started(*window, instance);

    // The slot guards and notify() keep HException out of the loop. Should
    // one get through all the same, the loop is not entered again: the
    // toolkit's state is not to be trusted after an exception went through it.
    try {
        QApplication::exec();
    } catch (const HException &e) {
        showErrorBox(latin1Text(e.message()));
    }
    window.reset();
    theUpdater = nullptr;
    return 0;
}
