#include "history/history_files.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "history/history.h"

namespace history {

std::string utf8Path(const std::filesystem::path &path)
{
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

void makePrivateFolder(const std::filesystem::path &folder)
{
    std::vector<std::filesystem::path> missing;
    std::error_code error;
    for (std::filesystem::path at = folder; !at.empty() && !std::filesystem::exists(at, error);
         at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path())
            break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
#ifdef _WIN32
        const bool made = std::filesystem::create_directory(*at, error) || std::filesystem::is_directory(*at);
#else
        // Another process may make it at the same moment.
        const bool made = ::mkdir(at->c_str(), 0700) == 0 || errno == EEXIST;
        error = std::error_code(errno, std::generic_category());
#endif
        if (!made)
            throw HistoryError(error.value() == EACCES || error.value() == EROFS ? HistoryErrorKind::readOnly
                                                                                 : HistoryErrorKind::failed,
                               "the folder " + utf8Path(*at) + " cannot be made: " + error.message());
    }
}

std::filesystem::path dataFolder()
{
#ifdef _WIN32
    const wchar_t *local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        throw HistoryError(HistoryErrorKind::failed,
                           "the user's data folder is not known: LOCALAPPDATA is not set; name a history file");
    return std::filesystem::path(local) / L"Vantrel Update";
#else
    // A relative XDG_DATA_HOME is to be ignored, as an empty one.
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::filesystem::path(data) / "vantrel-update";
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/')
        throw HistoryError(HistoryErrorKind::failed,
                           "the user's data folder is not known: neither XDG_DATA_HOME nor HOME is set; name a history "
                           "file");
    return std::filesystem::path(home) / ".local" / "share" / "vantrel-update";
#endif
}

std::filesystem::path defaultHistoryFile()
{
    return dataFolder() / "history.sqlite";
}

std::filesystem::path defaultSpoolFile()
{
    return dataFolder() / "spool.sqlite";
}

std::string defaultStationName()
{
#ifdef _WIN32
    wchar_t name[256];
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return "unknown";
    const std::u8string text = std::filesystem::path(std::wstring(name, size)).u8string();
    return std::string(text.begin(), text.end());
#else
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0])
        return "unknown";
    return name;
#endif
}

}  // namespace history
