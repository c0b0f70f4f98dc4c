#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include "app/single_instance_folder.h"

namespace {

constexpr char acknowledgement = '\x06';
// Both ends fix the stream format, so that different builds understand each other.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_0;
constexpr int connectRetryPause = 50;  // milliseconds

// The id in letters and digits, readable in a listing of the folder.
QString readableName(const QString &id)
{
    QString readable;
    for (const QChar c : id)
        if (c.isLetterOrNumber())
            readable += c.toLower();
    return readable;
}

// The lock and the socket without their suffixes: two ids with the same
// letters still get files of their own.
QString baseName(const QString &id)
{
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return readableName(id) + QLatin1Char('-') + QString::fromLatin1(digest);
}

}  // namespace

SingleInstance::SingleInstance(const QString &id, QObject *parent) : QObject(parent)
{
    QString problem;
    const std::optional<QString> folder = singleInstanceFolder(readableName(id), problem);
    const QString base = folder ? *folder + QLatin1Char('/') + baseName(id) : QString();
    const QString lockPath = base + QStringLiteral(".lock");
    const QString socketPath = base + QStringLiteral(".socket");
    if (folder && !(isAbsentOrOwnEntry(lockPath) && isAbsentOrOwnEntry(socketPath)))
        problem = QStringLiteral("%1: a lock or socket that is not the user's own").arg(base);
    if (!problem.isEmpty()) {
        qWarning("Running without the single-instance lock: %s", qUtf8Printable(problem));
        return;
    }
    socketPath_ = socketPath;
    lock_ = std::make_unique<QLockFile>(lockPath);
    // Only a live holder counts, however old its lock is.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        listen();
        return;
    }
    // A lock that cannot even be tried (a read-only folder, say) must not
    // keep the updater from running.
    running_ = lock_->error() == QLockFile::LockFailedError;
}

SingleInstance::~SingleInstance()
{
    // Before the lock goes: once it is free, a new start may put its own
    // socket where ours was, and closing ours would remove that one.
    delete server_;
}

QString SingleInstance::lockFilePath() const
{
    return lock_ ? lock_->fileName() : QString();
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
    if (socketPath_.isEmpty())
        return false;
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
