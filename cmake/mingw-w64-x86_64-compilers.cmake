# Debian's MinGW-w64 compilers for 64-bit Windows and where their libraries
# are: what both the project's cross build (mingw-w64-x86_64.cmake) and the
# Qt kit it uses (scripts/build-qt-windows.sh) are built with.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchain_prefix x86_64-w64-mingw32)
# The compilers with POSIX threads: only they give std::thread and std::mutex
# (GCC 12's win32 thread model has neither), which GoogleTest and Qt need.
# The unsuffixed names may point to either model.
set(CMAKE_C_COMPILER ${toolchain_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
