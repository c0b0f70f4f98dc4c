#include "app/updater_application.h"

#include "app/error_reporter.h"
#include "app/latin1.h"
#include "datalink/hexception.h"

UpdaterApplication::UpdaterApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool UpdaterApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const HException &e) {
        reportError(latin1Text(e.message()));
        return false;
    }
}
