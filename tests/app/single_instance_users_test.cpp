// Another local user got to the single-instance files first. Wherever it
// put its folder, link, lock or listening socket, this user's updater still
// opens its window, and nothing it would forward reaches the other user.
// The test runs as root and acts as the other user through setpriv.

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/single_instance.h"
#include "app/updater_main.h"
#include "tests/app/file_system.h"
#include "tests/app/program_start.h"
#include "tests/app/scoped_environment.h"

namespace {

constexpr int otherUser = 65534;  // nobody
const QString ready = QStringLiteral("status: Device ready.");

// Where this user's updater puts its lock and socket, relative to the folder
// that `folderVariable` names (TMPDIR, or XDG_RUNTIME_DIR), found by an
// instance in a folder of the test's own.
struct Places {
    QString lock;
    QString socket;
};
Places placesBelow(const char *folderVariable)
{
    QTemporaryDir folder;
    ScopedEnvironment noRuntimeFolder("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnvironment chosen(folderVariable, folder.path());
    const SingleInstance probe(applicationId);
    const QDir below(folder.path());
    return {below.relativeFilePath(probe.lockFilePath()), below.relativeFilePath(probe.socketPath())};
}

class AnotherUserFirst : public testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "acting as another user needs root";
        // Where the other user can run it: the build tree may be closed to it.
        ASSERT_TRUE(setMode(tools.path(), 0755));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTREL_PLANTED_BINARY), plantedProgram));
        ASSERT_TRUE(setMode(plantedProgram, 0755));
    }

    // A stand-in for /tmp: everyone may add to it, no one may remove what
    // another added.
    static std::unique_ptr<QTemporaryDir> sharedTemporaryFolder()
    {
        auto folder = std::make_unique<QTemporaryDir>();
        EXPECT_TRUE(setMode(folder->path(), 01777));
        return folder;
    }

    static std::unique_ptr<ProgramStart> runAsOtherUser(const QString &program, const QStringList &arguments)
    {
        const QString id = QString::number(otherUser);
        return std::make_unique<ProgramStart>(
            QStringLiteral("setpriv"),
            QStringList{QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id, QStringLiteral("--clear-groups"),
                        program} +
                arguments,
            QProcessEnvironment::systemEnvironment());
    }
    // The other user's program, holding `lock` and listening on `socket`.
    std::unique_ptr<ProgramStart> plant(const QString &lock, const QString &socket) const
    {
        auto planted = runAsOtherUser(plantedProgram, {lock, socket});
        EXPECT_TRUE(planted->printed(QStringLiteral("listening"))) << planted->errors().toStdString();
        return planted;
    }
    // This user's updater: the demo, which shares the product's id.
    static std::unique_ptr<ProgramStart> startUpdater(const QString &temporaryFolder,
                                                      const std::optional<QString> &runtimeFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        if (runtimeFolder)
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), *runtimeFolder);
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return std::make_unique<ProgramStart>(
            QStringLiteral(VANTREL_DEMO_BINARY),
            QStringList{QStringLiteral("--variant"), QStringLiteral("msp430"), QStringLiteral("--installed"),
                        QStringLiteral("none")},
            environment);
    }
    // The updater opened its window, and nothing connected to the other
    // user's socket.
    static void expectRunsAndForwardsNothing(std::unique_ptr<ProgramStart> updater, ProgramStart &planted)
    {
        EXPECT_TRUE(updater->printed(ready)) << "no window: " << updater->errors().toStdString();
        updater.reset();
        planted.closeInput();
        EXPECT_TRUE(planted.printed(QStringLiteral("connections: 0"))) << planted.output().toStdString();
    }

    QTemporaryDir tools;
    const QString plantedProgram = tools.filePath(QStringLiteral("planted-instance"));
};

TEST_F(AnotherUserFirst, HoldingTheLockAndSocketWhereTheUpdaterLooksGainsNothing)
{
    const Places belowTemporary = placesBelow("TMPDIR");
    const Places inRuntime = placesBelow("XDG_RUNTIME_DIR");
    QTemporaryDir usersRuntime;
    enum class Runtime { none, otherUsers, usersOwn };
    const struct {
        const char *what;
        Runtime runtime;
    } cases[] = {
        {"no runtime folder: the other user was first in the temporary folder", Runtime::none},
        {"the runtime folder is the other user's", Runtime::otherUsers},
        {"the user's own runtime folder holds the other user's lock and socket", Runtime::usersOwn},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const auto temporary = sharedTemporaryFolder();
        const QString othersRuntime = temporary->filePath(QStringLiteral("others-runtime"));
        std::optional<QString> runtime;
        QString lock = temporary->filePath(belowTemporary.lock);
        QString socket = temporary->filePath(belowTemporary.socket);
        if (c.runtime != Runtime::none) {
            runtime = c.runtime == Runtime::otherUsers ? othersRuntime : usersRuntime.path();
            lock = QDir(*runtime).filePath(inRuntime.lock);
            socket = QDir(*runtime).filePath(inRuntime.socket);
        }
        // As it would be if the folder had been open for a while.
        if (c.runtime == Runtime::usersOwn) {
            ASSERT_TRUE(setMode(usersRuntime.path(), 0777));
        }
        const auto planted = plant(lock, socket);
        ASSERT_TRUE(setMode(usersRuntime.path(), 0700));

        expectRunsAndForwardsNothing(startUpdater(temporary->path(), runtime), *planted);
    }
}

TEST_F(AnotherUserFirst, ALinkInPlaceOfTheUpdatersFolderIsNotFollowed)
{
    const QString firstStep = placesBelow("TMPDIR").lock.section(QLatin1Char('/'), 0, 0);
    const auto temporary = sharedTemporaryFolder();
    QTemporaryDir usersFolder;
    const auto link = runAsOtherUser(QStringLiteral("ln"),
                                     {QStringLiteral("-s"), usersFolder.path(), temporary->filePath(firstStep)});
    ASSERT_TRUE(link->endsWithZero()) << link->errors().toStdString();

    const auto updater = startUpdater(temporary->path(), std::nullopt);
    EXPECT_TRUE(updater->printed(ready)) << "no window: " << updater->errors().toStdString();
    EXPECT_TRUE(entriesOf(usersFolder.path()).isEmpty()) << "the lock or the socket went through the link";
}

}  // namespace
