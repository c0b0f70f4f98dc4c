// Stands for another local user's program that got to the single-instance
// files first: run as that user, it makes the folders on the way to the
// lock and the socket (they are its own), holds the lock, listens on the
// socket and prints "listening". When its standard input ends it prints
// "connections: N", how many connected in all, and ends.
//
//     vantrel_planted_instance LOCK SOCKET

#include <unistd.h>

#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSocketNotifier>

namespace {

void say(const QByteArray &line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOCK SOCKET\n", argv[0]);
        return 2;
    }
    const QString lockPath = QString::fromLocal8Bit(argv[1]);
    const QString socketPath = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(QFileInfo(lockPath).path());
    QDir().mkpath(QFileInfo(socketPath).path());

    QLockFile lock(lockPath);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        std::fprintf(stderr, "cannot lock %s\n", argv[1]);
        return 1;
    }
    QLocalServer server;
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    QLocalServer::removeServer(socketPath);
    if (!server.listen(socketPath)) {
        std::fprintf(stderr, "cannot listen on %s\n", argv[2]);
        return 1;
    }

    int connections = 0;
    const auto acceptAll = [&] {
        while (server.nextPendingConnection())
            ++connections;
    };
    QObject::connect(&server, &QLocalServer::newConnection, acceptAll);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) > 0)
            return;
        // Also those that the system holds but the loop has not seen yet.
        while (server.waitForNewConnection(0))
            acceptAll();
        say("connections: " + QByteArray::number(connections));
        QCoreApplication::quit();
    });
    say("listening");
    return QCoreApplication::exec();
}
