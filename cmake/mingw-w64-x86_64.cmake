# Cross build for 64-bit Windows with Debian's MinGW-w64; the tests run under
# Wine.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         [-DVANTREL_QT_WINDOWS_KIT=<the Qt kit scripts/build-qt-windows.sh made>]
#
# With the Qt kit the build has the window, its demo and its tests too.

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-compilers.cmake)

# The kit's packages are found below it, as the MinGW root's are below that
# root; its Qt tools (moc, rcc, uic) are the host Qt's, of the same version.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREL_QT_WINDOWS_KIT)
if(VANTREL_QT_WINDOWS_KIT)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${VANTREL_QT_WINDOWS_KIT})
    list(PREPEND CMAKE_PREFIX_PATH ${VANTREL_QT_WINDOWS_KIT}/lib/cmake)
    set(QT_HOST_PATH /usr CACHE PATH "The host Qt whose tools a cross build uses")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake packages")
endif()

# Test discovery and ctest run the Windows executables through Wine; with the
# kit, Wine finds the Qt DLLs (and the compiler's runtime DLLs they load) in
# its bin folder, and Qt its plugins beside that.
find_program(VANTREL_WINE wine REQUIRED)
if(VANTREL_QT_WINDOWS_KIT)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env "WINEPATH=Z:${VANTREL_QT_WINDOWS_KIT}/bin" ${VANTREL_WINE})
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_WINE})
endif()
