#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

std::string replaceFile(const std::string &from, const std::string &to)
{
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED: return reasonOf(EACCES);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND: return reasonOf(ENOENT);
    case ERROR_DISK_FULL: return reasonOf(ENOSPC);
    default: return "the system refused to move it into place (error " + std::to_string(GetLastError()) + ")";
    }
#else
    // rename() replaces its target in one step.
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return {};
    return reasonOf(errno);
#endif
}

std::string createNewFile(const std::string &path)
{
#ifdef _WIN32
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_ACCESS_DENIED: return reasonOf(EACCES);
        case ERROR_PATH_NOT_FOUND: return reasonOf(ENOENT);
        case ERROR_FILE_EXISTS: return reasonOf(EEXIST);
        default: return "the system refused to make it (error " + std::to_string(GetLastError()) + ")";
        }
    }
    CloseHandle(file);
    return {};
#else
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return reasonOf(errno);
    close(descriptor);
    return {};
#endif
}

void removeFile(const std::string &path) { static_cast<void>(std::remove(path.c_str())); }

long processId()
{
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

std::string reasonOf(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT: return "no such folder";
    case ENOTDIR: return "a part of the path is no folder";
    case EACCES:
    case EPERM: return "no permission";
    case ENOSPC: return "the disk is full";
#ifdef EDQUOT
    case EDQUOT: return "the disk quota is used up";
#endif
    case EROFS: return "the file system is read-only";
    case EISDIR: return "it is a folder";
    case ENAMETOOLONG: return "the name is too long";
    case EIO: return "the system failed to write it";
    case EEXIST: return "something is there already";
    default: return std::strerror(errorNumber);
    }
}

}  // namespace platform
