#include "app/single_instance.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <functional>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/updater_main.h"
#include "tests/app/program_start.h"
#include "tests/app/scoped_environment.h"
#include "tests/app/single_instance_place.h"
#ifndef _WIN32
#include "tests/app/file_system.h"
#endif

namespace {

const QString ready = QStringLiteral("status: Device ready.");

QString forwarded(const char *message)
{
    return QStringLiteral("message from another start: \"%1\"").arg(QString::fromLatin1(message));
}

// Each test has a runtime and a temporary folder of its own, so it meets no
// updater but its own.
class Instances : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;
    QTemporaryDir temporaryFolder;
    bool withRuntimeFolder = true;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder.path());
        const QString folderVariable = QString::fromLatin1(singleInstanceFolderVariable);
        environment.remove(folderVariable);
        if (withRuntimeFolder)
            environment.insert(folderVariable, runtimeFolder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")));
        return environment;
    }
    // The first instance: the demo, which shares the product's id and runs
    // on the virtual bus (the product would need a device backend).
    std::unique_ptr<ProgramStart> startDemo(QStringList arguments = {})
    {
        arguments << QStringLiteral("--variant") << QStringLiteral("msp430") << QStringLiteral("--installed")
                  << QStringLiteral("none");
        return std::make_unique<ProgramStart>(QStringLiteral(VANTREL_DEMO_BINARY), arguments, environment());
    }
    std::unique_ptr<ProgramStart> startProduct(const QStringList &arguments)
    {
        return std::make_unique<ProgramStart>(QStringLiteral(VANTREL_UPDATE_BINARY), arguments, environment());
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

#ifndef _WIN32
TEST_F(Instances, WithoutARuntimeFolderASecondStartStillForwards)
{
    withRuntimeFolder = false;
    auto first = startDemo();
    ASSERT_TRUE(first->printed(ready)) << first->errors().toStdString();
    auto second = startProduct({QStringLiteral("no runtime folder")});
    EXPECT_TRUE(second->endsWithZero()) << second->errors().toStdString();
    EXPECT_TRUE(first->printed(forwarded("no runtime folder")));
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
#endif

// The files of instances made in this process, with a runtime and a
// temporary folder of the test's own.
class SingleInstanceFiles : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;
    QTemporaryDir temporaryFolder;
    ScopedEnvironment temporary{"TMPDIR", temporaryFolder.path()};
    ScopedEnvironment runtime{singleInstanceFolderVariable, runtimeFolder.path()};
};

#ifdef _WIN32
// The lock in the user's temporary folder, the socket a named pipe that
// Qt restricts to the user; both go with the instance that made them.
TEST_F(SingleInstanceFiles, LiveInTheUsersTemporaryFolderAndGoWithTheInstance)
{
    auto first = std::make_unique<SingleInstance>(applicationId);
    EXPECT_FALSE(first->isRunning());
    const QString lock = first->lockFilePath();
    EXPECT_EQ(QFileInfo(lock).absolutePath(), QFileInfo(runtimeFolder.path()).absoluteFilePath());
    EXPECT_TRUE(QFileInfo::exists(lock));

    EXPECT_TRUE(SingleInstance(applicationId).isRunning());
    EXPECT_FALSE(SingleInstance(QStringLiteral("Another Program")).isRunning());

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(lock));
    EXPECT_FALSE(SingleInstance(applicationId).isRunning());
}
#else
const QFile::Permissions othersAccess =
    QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

TEST_F(SingleInstanceFiles, LiveInTheUsersRuntimeFolderAndOnlyTheUserReachesTheSocket)
{
    auto first = std::make_unique<SingleInstance>(applicationId);
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(QFileInfo(first->lockFilePath()).absolutePath(), QFileInfo(runtimeFolder.path()).absoluteFilePath());
    const QFileInfo socket(first->socketPath());
    ASSERT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & othersAccess, QFile::Permissions());

    EXPECT_TRUE(SingleInstance(applicationId).isRunning());
    EXPECT_FALSE(SingleInstance(QStringLiteral("Another Program")).isRunning());

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(socket.filePath()));
    EXPECT_FALSE(SingleInstance(applicationId).isRunning());
}

// Where the runtime folder is missing or not the user's alone, a folder that
// the start makes below the temporary folder takes its place.
TEST_F(SingleInstanceFiles, WithoutAProperRuntimeFolderLiveInAFolderOnlyTheUserCanEnter)
{
    const QString linkToRuntime = temporaryFolder.filePath(QStringLiteral("runtime-link"));
    ASSERT_TRUE(QFile::link(runtimeFolder.path(), linkToRuntime));
    QTemporaryDir openRuntime;
    ASSERT_TRUE(setMode(openRuntime.path(), 0755));
    const struct {
        const char *what;
        std::optional<QString> runtime;
    } cases[] = {
        {"no runtime folder", std::nullopt},
        {"an empty one", QString()},
        {"one that others can enter", openRuntime.path()},
        {"a link to one", linkToRuntime},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnvironment caseRuntime("XDG_RUNTIME_DIR", c.runtime);
        SingleInstance instance(applicationId);
        EXPECT_FALSE(instance.isRunning());
        const QString folder = QFileInfo(instance.lockFilePath()).path();
        EXPECT_EQ(QFileInfo(folder).path(), temporaryFolder.path());
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_TRUE(QFileInfo::exists(instance.socketPath()));
        EXPECT_TRUE(SingleInstance(applicationId).isRunning());
    }
    EXPECT_TRUE(entriesOf(openRuntime.path()).isEmpty());
}

// What stands where the folder below the temporary folder goes, and is not
// a folder of the user's alone, is never used: each start runs on its own.
TEST_F(SingleInstanceFiles, WhatIsNotTheUsersAloneIsNotUsed)
{
    ScopedEnvironment noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    const QString folder = QFileInfo(SingleInstance(applicationId).lockFilePath()).path();
    QTemporaryDir usersOtherFolder;
    const struct {
        const char *what;
        std::function<bool()> replace;
    } cases[] = {
        {"open to others", [&] { return setMode(folder, 0755); }},
        {"a link to a folder of the user's alone",
         [&] { return QDir(folder).removeRecursively() && QFile::link(usersOtherFolder.path(), folder); }},
        {"a file", [&] { return QFile::remove(folder) && QFile(folder).open(QIODevice::WriteOnly); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.replace());
        SingleInstance first(applicationId);
        EXPECT_FALSE(first.isRunning());
        EXPECT_TRUE(first.lockFilePath().isEmpty());
        EXPECT_FALSE(SingleInstance(applicationId).isRunning()) << "the first holds nothing";
    }
    EXPECT_TRUE(entriesOf(usersOtherFolder.path()).isEmpty());
}

#endif

}  // namespace
