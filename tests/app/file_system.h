#pragma once

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStringList>

// Every entry of `folder`, sockets and links too.
inline QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}

// chmod, with the sticky bit that Qt's permissions lack.
inline bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}
