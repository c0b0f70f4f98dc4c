#pragma once

#include <optional>

#include <QString>

// Where one user's single-instance lock and socket go: a folder that no
// other user can have made, entered or put a link in place of. The
// session's runtime folder where it is such a folder, otherwise `name` with
// the user's number below the temporary folder, made for the purpose.
// Nothing, and the reason in `problem`, when no such folder is to be had.
std::optional<QString> singleInstanceFolder(const QString &name, QString &problem);

// Whether `path` in that folder is this user's to use: absent, or the user's
// own and not a link. Only someone with more rights than the user can have
// put anything else there.
bool isAbsentOrOwnEntry(const QString &path);
