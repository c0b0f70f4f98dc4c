// These tests see the emulated devices only through umockdev's preload
// library, which must be loaded before the program starts: the test restarts
// itself with it, so that it runs alike under CTest and by hand.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

constexpr const char *preloadLibrary = "libumockdev-preload.so.0";

bool preloaded() { return dlopen(preloadLibrary, RTLD_NOW | RTLD_NOLOAD) != nullptr; }

}  // namespace

int main(int argc, char **argv)
{
    const char *preload = std::getenv("LD_PRELOAD");
    if (!preloaded()) {
        if (preload && std::strstr(preload, preloadLibrary)) {
            std::fprintf(stderr, "%s did not load: is umockdev installed?\n", preloadLibrary);
            return 1;
        }
        std::string value = preloadLibrary;
        if (preload && *preload)
            value += std::string(" ") + preload;
        setenv("LD_PRELOAD", value.c_str(), 1);
#if defined(__SANITIZE_ADDRESS__)
        // The preload now comes before the sanitizer's runtime, which would
        // refuse to start unless told that this is intended.
        std::string options = "verify_asan_link_order=0";
        if (const char *asan = std::getenv("ASAN_OPTIONS"); asan && *asan)
            options = std::string(asan) + ":" + options;
        setenv("ASAN_OPTIONS", options.c_str(), 1);
#endif
        execv("/proc/self/exe", argv);
        std::perror("cannot restart with umockdev's preload");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
