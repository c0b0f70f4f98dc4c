#include "tests/platform/libusb/emulation/umockdev_preload.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *preloadLibrary = "libumockdev-preload.so.0";

// The file of a loaded library whose name contains `part`, or "".
[[maybe_unused]] std::string loadedLibrary(const char *part)
{
    struct Search {
        const char *part;
        std::string file;
    } search{part, {}};
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            if (info->dlpi_name && std::strstr(info->dlpi_name, s->part)) {
                s->file = info->dlpi_name;
                return 1;
            }
            return 0;
        },
        &search);
    return search.file;
}

bool preloaded() { return !loadedLibrary(preloadLibrary).empty(); }

}  // namespace

bool runWithUmockdevPreload(char **argv)
{
    if (preloaded())
        return true;
    const char *preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, preloadLibrary)) {
        std::fprintf(stderr, "%s did not load: is umockdev installed?\n", preloadLibrary);
        return false;
    }
    std::string value = preloadLibrary;
    if (preload && *preload)
        value += std::string(" ") + preload;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's runtime must come first of all libraries, or it refuses
    // to start: it goes first in the preload list too.
    const std::string runtime = loadedLibrary("libasan");
    if (!runtime.empty())
        value = runtime + " " + value;
#endif
    setenv("LD_PRELOAD", value.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot restart with umockdev's preload");
    return false;
}
