# Cross build for 64-bit Windows with Debian's MinGW-w64; the tests run under
# Wine.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchain_prefix x86_64-w64-mingw32)
# The compilers with POSIX threads: only they give std::thread and std::mutex
# (GCC 12's win32 thread model has neither), which GoogleTest needs. The
# unsuffixed names may point to either model.
set(CMAKE_C_COMPILER ${toolchain_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into every executable, so that Wine (or a
# bare Windows machine) needs no MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test discovery and ctest run the Windows executables through Wine.
find_program(VANTREL_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE})
