#include "platform/console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace platform {

bool isTerminal(std::FILE *stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

int terminalColumns(std::FILE *stream)
{
    if (!isTerminal(stream))
        return 0;
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!GetConsoleScreenBufferInfo(handle, &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
#endif
}

void keepStandardStreamsOpen()
{
#ifdef _WIN32
    // A process started without a console or with a handle closed has no
    // descriptor there; the C runtime would hand its number to the next file.
    const struct {
        std::FILE *stream;
        const char *mode;
    } streams[] = {{stdin, "r"}, {stdout, "w"}, {stderr, "w"}};
    for (int descriptor = 0; descriptor < 3; ++descriptor)
        if (_get_osfhandle(descriptor) == -1 || _fileno(streams[descriptor].stream) < 0)
            static_cast<void>(std::freopen("NUL", streams[descriptor].mode, streams[descriptor].stream));
#else
    // open() gives the lowest free descriptor: the closed one, in order.
    for (int descriptor = 0; descriptor < 3; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1)
            continue;
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor)
            close(opened);  // not ours to fill after all: another thread opened something
    }
#endif
}

bool readerGone(std::FILE *stream)
{
#ifdef _WIN32
    // A write of nothing to a pipe whose reader has gone fails; to anything
    // else it does nothing.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_PIPE)
        return false;
    DWORD written = 0;
    return !WriteFile(handle, "", 0, &written, nullptr) &&
           (GetLastError() == ERROR_NO_DATA || GetLastError() == ERROR_BROKEN_PIPE);
#else
    // A pipe's writing end shows an error once its reading end is closed.
    pollfd descriptor{fileno(stream), 0, 0};
    return poll(&descriptor, 1, 0) == 1 && (descriptor.revents & POLLERR) != 0;
#endif
}

}  // namespace platform
