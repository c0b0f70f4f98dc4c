#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr char acknowledgement = '\x06';
// Both ends fix the stream format, so that different builds understand each other.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_0;
constexpr int connectRetryPause = 50;  // milliseconds

// The lock and the socket without their suffixes. The runtime folder is the
// user's own (mode 0700) and lives as long as the user's session; where
// there is none, the temporary folder, with a name of the user's own.
QString basePath(const QString &id)
{
    const QString folder = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                               ? QDir::tempPath()
                               : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QString readable;
    for (const QChar c : id)
        if (c.isLetterOrNumber())
            readable += c.toLower();
    const QByteArray user = QDir::homePath().toUtf8();
    const QByteArray digest =
        QCryptographicHash::hash(id.toUtf8() + '\n' + user, QCryptographicHash::Sha256).toHex().left(16);
    return folder + QLatin1Char('/') + readable + QLatin1Char('-') + QString::fromLatin1(digest);
}

}  // namespace

SingleInstance::SingleInstance(const QString &id, QObject *parent)
    : QObject(parent), socketPath_(basePath(id) + QStringLiteral(".socket")), lock_(basePath(id) + QStringLiteral(".lock"))
{
    // Only a live holder counts, however old its lock is.
    lock_.setStaleLockTime(0);
    if (lock_.tryLock(0)) {
        listen();
        return;
    }
    // A lock that cannot even be tried (a read-only folder, say) must not
    // keep the updater from running.
    running_ = lock_.error() == QLockFile::LockFailedError;
}

SingleInstance::~SingleInstance()
{
    // Before the lock goes: once it is free, a new start may put its own
    // socket where ours was, and closing ours would remove that one.
    delete server_;
}

void SingleInstance::listen()
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left behind by a process that died.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_))
        return;  // later starts cannot reach us, but this one runs
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { receive(socket); });
            receive(socket);
        }
    });
}

void SingleInstance::receive(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.setVersion(streamVersion);
    in.startTransaction();
    QString message;
    in >> message;
    if (!in.commitTransaction())
        return;  // the rest is still on its way
    socket->write(&acknowledgement, 1);
    socket->flush();
    emit messageReceived(message);
}

bool SingleInstance::sendMessage(const QString &message, int timeout)
{
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The running one may have its lock but not yet its socket.
    for (;;) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.remainingTime() <= connectRetryPause)
            return false;
        QThread::msleep(connectRetryPause);
    }
    QByteArray packet;
    QDataStream out(&packet, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    out << message;
    socket.write(packet);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == acknowledgement;
}
