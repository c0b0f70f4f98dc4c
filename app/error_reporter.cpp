#include "app/error_reporter.h"

#include <deque>

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

std::deque<QString> pendingMessages;
bool boxOpen = false;

void showPendingBoxes()
{
    // The open box's loop runs timers too: its caller shows what came meanwhile.
    if (boxOpen)
        return;
    boxOpen = true;
    while (!pendingMessages.empty()) {
        const QString message = pendingMessages.front();
        pendingMessages.pop_front();
        showErrorBox(message);
    }
    boxOpen = false;
}

}  // namespace

void showErrorBox(const QString &message)
{
    QMessageBox::critical(nullptr, QStringLiteral("Error"), message, QMessageBox::Ok, QMessageBox::NoButton);
}

void reportError(const QString &message)
{
    pendingMessages.push_back(message);
    QTimer::singleShot(0, QCoreApplication::instance(), showPendingBoxes);
}
