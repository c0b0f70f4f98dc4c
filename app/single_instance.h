#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class ForwardedMessageReader;

// What the running instance allows a later start that connects to it.
struct SingleInstanceLimits {
    // From connecting to the end of its message: a client that says
    // nothing, or trickles, is closed when it runs out.
    std::chrono::milliseconds timeToSend{2000};
    // Connections open at once; a further one closes the oldest.
    int openConnections = 16;
};

// One running process per id and user session. The first start holds a lock
// file and listens on a local socket beside it, both in a folder that only
// the user can have; a later start finds the lock held and can hand a
// message over the socket. The lock names its holder's process, so a lock
// left by a process that died is taken over by the next start. Where no
// such folder is to be had, or something in it is not the user's own, each
// start runs on its own: better a second window than none.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(const QString &id, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another process of this user holds the id.
    bool isRunning() const { return running_; }

    // Hands `message` to the running instance. `timeout` bounds all the
    // waits together, in milliseconds; true when the running one confirmed.
    bool sendMessage(const QString &message, int timeout);

    // For connections that arrive from now on.
    void setLimits(const SingleInstanceLimits &limits) { limits_ = limits; }

    // Where the lock and the socket are, for tests and diagnostics; empty
    // when this start runs without them.
    QString lockFilePath() const;
    QString socketPath() const { return socketPath_; }

signals:
    // A message from a later start, in the running instance.
    void messageReceived(const QString &message);

private:
    void listen();
    void acceptConnections();
    void receive(QLocalSocket &socket, ForwardedMessageReader &reader);
    void drop(QLocalSocket *socket);
    void forget(QLocalSocket *socket);

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    bool running_ = false;
    QLocalServer *server_ = nullptr;
    SingleInstanceLimits limits_;
    // Open connections, oldest first.
    std::vector<QLocalSocket *> connections_;
};
