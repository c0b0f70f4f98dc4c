#include "app/single_instance_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What keeps `path` from being the user's private folder; empty when
// nothing does. lstat, so that a link is judged as a link and never
// followed to wherever someone else points it.
QString problemWithFolder(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return path + QStringLiteral(": ") + systemError(errno);
    if (!S_ISDIR(info.st_mode))
        return path + QStringLiteral(": not a folder");
    if (info.st_uid != ::geteuid())
        return path + QStringLiteral(": owned by user %1").arg(info.st_uid);
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return path + QStringLiteral(": open to other users");
    return {};
}

}  // namespace

std::optional<QString> singleInstanceFolder(const QString &name, QString &problem)
{
    // Where the session's runtime folder is not as it should be, the
    // temporary folder serves, as it does without one.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && problemWithFolder(runtime).isEmpty())
        return runtime;

    // The temporary folder is everyone's, so anyone may have been first to
    // make this folder: make it with its final mode in one step, then
    // examine what stands there, whoever made it.
    const QString folder = QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(::geteuid());
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST) {
        problem = folder + QStringLiteral(": ") + systemError(errno);
        return std::nullopt;
    }
    problem = problemWithFolder(folder);
    if (!problem.isEmpty())
        return std::nullopt;
    return folder;
}

bool isAbsentOrOwnEntry(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT;
    return !S_ISLNK(info.st_mode) && info.st_uid == ::geteuid();
}
