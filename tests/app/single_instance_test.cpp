#include "app/single_instance.h"

#include <signal.h>

#include <memory>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A start of one of the built programs, with its standard output kept.
class Start {
public:
    Start(const char *program, const QStringList &arguments, const QProcessEnvironment &environment)
    {
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QString::fromLocal8Bit(program), arguments);
        process_.waitForStarted();
    }
    ~Start()
    {
        if (process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Whether the program printed `line` within `milliseconds`.
    bool printed(const QString &line, int milliseconds = 20000)
    {
        const QDeadlineTimer deadline(milliseconds);
        for (;;) {
            output_ += process_.readAllStandardOutput();
            if (lines().contains(line))
                return true;
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(50);
        }
    }
    // Whether it ended by itself within `milliseconds` with exit code 0.
    bool endsWithZero(int milliseconds = 30000)
    {
        if (!process_.waitForFinished(milliseconds))
            return false;
        output_ += process_.readAllStandardOutput();
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    QStringList lines() const { return QString::fromLocal8Bit(output_).split(QLatin1Char('\n')); }
    QByteArray output() const { return output_; }
    QByteArray errors() { return process_.readAllStandardError(); }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool running() const { return process_.state() == QProcess::Running; }
    void crash()
    {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QByteArray output_;
};

const QString ready = QStringLiteral("status: Device ready.");

QString forwarded(const char *message)
{
    return QStringLiteral("message from another start: \"%1\"").arg(QString::fromLatin1(message));
}

// Each test has a runtime folder of its own, so it meets no updater but its own.
class Instances : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }
    // The first instance: the demo, which shares the product's id and runs
    // on the virtual bus (the product would need a device backend).
    std::unique_ptr<Start> startDemo(QStringList arguments = {})
    {
        arguments << QStringLiteral("--variant") << QStringLiteral("msp430") << QStringLiteral("--installed")
                  << QStringLiteral("none");
        return std::make_unique<Start>(VANTREL_DEMO_BINARY, arguments, environment());
    }
    std::unique_ptr<Start> startProduct(const QStringList &arguments)
    {
        return std::make_unique<Start>(VANTREL_UPDATE_BINARY, arguments, environment());
    }
    QStringList filesLeft() const { return QDir(runtimeFolder.path()).entryList(QDir::Files | QDir::System); }
};

TEST_F(Instances, ASecondStartForwardsOnlyItsFirstArgumentAndEndsWithZero)
{
    auto first = startDemo();
    ASSERT_TRUE(first->printed(ready)) << first->errors().toStdString();

    // Had the product made a window, it would not end by itself.
    auto second = startProduct({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_TRUE(second->endsWithZero()) << second->errors().toStdString();
    EXPECT_TRUE(second->output().isEmpty());
    EXPECT_TRUE(first->printed(forwarded("a")));

    auto third = startProduct({});
    EXPECT_TRUE(third->endsWithZero());
    EXPECT_TRUE(first->printed(forwarded("")));
    EXPECT_FALSE(first->output().contains("\"b\""));
    EXPECT_TRUE(first->running());
}

TEST_F(Instances, AStartWhileTheRunningOneDoesNotAnswerEndsWithZero)
{
    auto first = startDemo();
    ASSERT_TRUE(first->printed(ready));
    ASSERT_EQ(::kill(first->pid(), SIGSTOP), 0);
    auto second = startProduct({QStringLiteral("anyone there")});
    // Once its waits for an answer have run out.
    EXPECT_TRUE(second->endsWithZero());
    ::kill(first->pid(), SIGCONT);
}

TEST_F(Instances, ALockLeftByACrashIsTakenOverAndANormalEndLeavesNothing)
{
    auto crashed = startDemo();
    ASSERT_TRUE(crashed->printed(ready));
    crashed->crash();
    ASSERT_FALSE(filesLeft().isEmpty()) << "the crash left its lock behind";

    auto next = startDemo({QStringLiteral("--auto-install")});
    EXPECT_TRUE(next->printed(ready)) << "it runs as the first instance";
    EXPECT_TRUE(next->printed(QStringLiteral("install finished")));
    EXPECT_TRUE(next->endsWithZero()) << next->errors().toStdString();
    EXPECT_TRUE(filesLeft().isEmpty()) << filesLeft().join(QLatin1Char(' ')).toStdString();
}

class SingleInstanceFiles : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");

    void SetUp() override { qputenv("XDG_RUNTIME_DIR", runtimeFolder.path().toLocal8Bit()); }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", savedRuntime); }
};

TEST_F(SingleInstanceFiles, LiveInTheUsersRuntimeFolderAndOnlyTheUserReachesTheSocket)
{
    auto first = std::make_unique<SingleInstance>(QStringLiteral("Vantrel Update"));
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(QFileInfo(first->lockFilePath()).absolutePath(), QFileInfo(runtimeFolder.path()).absoluteFilePath());
    const QFileInfo socket(first->socketPath());
    ASSERT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());

    EXPECT_TRUE(SingleInstance(QStringLiteral("Vantrel Update")).isRunning());
    EXPECT_FALSE(SingleInstance(QStringLiteral("Another Program")).isRunning());

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(socket.filePath()));
    EXPECT_FALSE(SingleInstance(QStringLiteral("Vantrel Update")).isRunning());
}

}  // namespace
