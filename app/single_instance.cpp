#include "app/single_instance.h"

#include <algorithm>
#include <iterator>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>

#include "app/single_instance_folder.h"
#include "app/single_instance_message.h"

namespace {

constexpr char acknowledgement = '\x06';
constexpr int connectRetryPause = 50;  // milliseconds
// What Qt holds of a connection's unread bytes; beyond it the rest waits
// in the system until asked for, so a client that floods costs no memory.
constexpr qint64 readBufferBytes = 16 * 1024;

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
    // The connections go with the server; what they signal on their way
    // is no longer of interest.
    for (QLocalSocket *socket : connections_)
        socket->disconnect(this);
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
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        // The oldest has had the longest to say what it had to say.
        if (std::ssize(connections_) >= std::max(limits_.openConnections, 1))
            drop(connections_.front());
        connections_.push_back(socket);
        socket->setReadBufferSize(readBufferBytes);
        auto reader = std::make_shared<ForwardedMessageReader>();
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] { receive(*socket, *reader); });
        // From connecting, not from the last byte: a client that trickles
        // would otherwise hold its connection for ever.
        QTimer::singleShot(limits_.timeToSend, socket, [this, socket] { drop(socket); });
        receive(*socket, *reader);
    }
}

void SingleInstance::receive(QLocalSocket &socket, ForwardedMessageReader &reader)
{
    if (reader.state() != ForwardedMessageReader::State::incomplete)
        return;  // answered or refused already; the rest is not read
    while (reader.wanted() > 0 && socket.bytesAvailable() > 0)
        reader.take(socket.read(reader.wanted()));
    switch (reader.state()) {
    case ForwardedMessageReader::State::incomplete:
        return;  // the rest is still on its way
    case ForwardedMessageReader::State::refused:
        drop(&socket);
        return;
    case ForwardedMessageReader::State::complete:
        break;
    }
    const QString message = reader.message();
    socket.write(&acknowledgement, 1);
    socket.disconnectFromServer();
    emit messageReceived(message);
}

void SingleInstance::drop(QLocalSocket *socket)
{
    forget(socket);
    socket->abort();
}

void SingleInstance::forget(QLocalSocket *socket)
{
    const auto found = std::find(connections_.begin(), connections_.end(), socket);
    if (found == connections_.end())
        return;
    connections_.erase(found);
    socket->deleteLater();
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
    socket.write(encodeForwardedMessage(message));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == acknowledgement;
}
