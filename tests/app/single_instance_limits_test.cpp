// The running instance against clients of its own user that do not play by
// the rules: each is closed before it costs more than a bounded share of
// time, memory and descriptors, and a proper later start still gets through.

#include <chrono>
#include <memory>
#include <vector>

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include "app/single_instance.h"
#include "app/single_instance_message.h"
#include "app/updater_main.h"
#include "tests/app/scoped_environment.h"
#include "tests/app/single_instance_place.h"
#ifdef _WIN32
#include <windows.h>
#else
#include "tests/app/file_system.h"
#endif

namespace {

using namespace std::chrono_literals;

constexpr char acknowledgement = '\x06';
// How long a wait on the event loop may take; only a failing test waits it out.
constexpr int patience = 10000;  // milliseconds
// Long enough that nothing in a test runs out of it.
constexpr auto noTimeLimit = std::chrono::milliseconds(1h);

// The files, sockets and pipes this process has open.
qsizetype openHandles()
{
#ifdef _WIN32
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return handles;
#else
    return entriesOf(QStringLiteral("/proc/self/fd")).size();
#endif
}

QByteArray countOf(quint32 bytes)
{
    QByteArray count(4, '\0');
    qToBigEndian(bytes, count.data());
    return count;
}

class RunningInstance : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;
    ScopedEnvironment runtime{singleInstanceFolderVariable, runtimeFolder.path()};
    SingleInstance instance{applicationId};
    QSignalSpy received{&instance, &SingleInstance::messageReceived};
    std::vector<std::unique_ptr<QLocalSocket>> clients;

    void SetUp() override { ASSERT_FALSE(instance.socketPath().isEmpty()); }

    // A later start, or anyone else of the user's, that connects and sends `bytes`.
    QLocalSocket &connectClient(const QByteArray &bytes = {})
    {
        auto client = std::make_unique<QLocalSocket>();
        client->connectToServer(instance.socketPath());
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->state() == QLocalSocket::ConnectedState; }, patience));
        client->write(bytes);
        clients.push_back(std::move(client));
        return *clients.back();
    }
    static bool closedByInstance(QLocalSocket &client)
    {
        return QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, patience);
    }
    // What a proper later start sees: the answer, then the end.
    void expectForwarded(const QString &message)
    {
        QLocalSocket &client = connectClient(encodeForwardedMessage(message));
        ASSERT_TRUE(closedByInstance(client));
        EXPECT_EQ(client.readAll(), QByteArray(1, acknowledgement));
        ASSERT_EQ(received.size(), 1);
        EXPECT_EQ(received.takeFirst().at(0).toString(), message);
    }
};

TEST_F(RunningInstance, AnswersAMessageUpToTheLongestArgumentAndClosesTheConnection)
{
    instance.setLimits({noTimeLimit, 16});
    for (const QString &message : {QString(), QStringLiteral("a"), QString(maxForwardedCharacters, QChar(0xE9))}) {
        SCOPED_TRACE(message.size());
        expectForwarded(message);
    }
}

TEST_F(RunningInstance, ClosesAConnectionAsSoonAsItDeclaresTooMuchOrNoText)
{
    instance.setLimits({noTimeLimit, 16});
    const struct {
        const char *what;
        quint32 count;
    } cases[] = {
        {"two gigabytes", 0x7FFFFFFE},
        {"one character beyond the longest argument", 2 * maxForwardedCharacters + 2},
        {"an odd number of bytes", 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // The count alone: closing needs no byte of the text.
        QLocalSocket &client = connectClient(countOf(c.count));
        EXPECT_TRUE(closedByInstance(client));
        EXPECT_TRUE(client.readAll().isEmpty()) << "answered";
    }
    EXPECT_TRUE(received.isEmpty());
}

TEST_F(RunningInstance, ClosesAConnectionThatHasNotSentItsMessageInTime)
{
    instance.setLimits({50ms, 16});
    const QByteArray message = encodeForwardedMessage(QString(5000, QLatin1Char('x')));
    const struct {
        const char *what;
        QByteArray sent;
        bool trickles;
    } cases[] = {
        {"says nothing", {}, false},
        {"half a count", message.first(2), false},
        {"the count and half the text", message.first(message.size() / 2), false},
        {"a byte every 10 ms: it stays busy, but its time runs from connecting", {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QLocalSocket &client = connectClient(c.sent);
        qsizetype sent = 0;
        QTimer trickle;
        QObject::connect(&trickle, &QTimer::timeout, [&] {
            if (client.state() == QLocalSocket::ConnectedState && sent < message.size())
                client.write(message.sliced(sent++, 1));
        });
        if (c.trickles)
            trickle.start(10ms);
        EXPECT_TRUE(closedByInstance(client));
    }
    EXPECT_TRUE(received.isEmpty());
}

TEST_F(RunningInstance, ManyConnectionsHoldFewDescriptorsAndAProperStartStillGetsThrough)
{
    constexpr int openAtOnce = 4;
    constexpr int connections = 40;
    instance.setLimits({noTimeLimit, openAtOnce});
    const qsizetype handlesBefore = openHandles();
    for (int i = 0; i < connections; ++i)
        connectClient();

    const auto open = [&] {
        return std::count_if(clients.begin(), clients.end(),
                             [](const auto &client) { return client->state() != QLocalSocket::UnconnectedState; });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return open() <= openAtOnce; }, patience)) << open() << " open";
    // Only the instance's descriptors: the test's own clients that it closed go.
    std::erase_if(clients, [](const auto &client) { return client->state() == QLocalSocket::UnconnectedState; });
    QCoreApplication::processEvents();
    EXPECT_LE(openHandles() - handlesBefore, 2 * openAtOnce);

    expectForwarded(QStringLiteral("still here"));
}

}  // namespace
