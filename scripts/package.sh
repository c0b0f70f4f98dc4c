#!/usr/bin/env bash
# Builds what a user installs, each in a build folder of its own made afresh,
# into build/packages/:
#   vantrel-update_<version>_amd64.deb     the Debian package (CPack, DEB)
#   Vantrel-Update-<version>-Setup.exe     the Windows setup program (the
#                                          MinGW-w64 cross build with the Qt
#                                          kit for Windows; CPack, NSIS)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-windows-kit.sh

# tcl: SQLite's own build makes the amalgamation that the Windows history is built with.
scripts/install-dependencies.sh dpkg-dev help2man nsis mingw-w64 g++-mingw-w64-x86-64 wine wine64 tcl
jobs=$(nproc)
out=$PWD/build/packages
rm -rf build/package "$out"
mkdir -p "$out"

echo "== Debian package"
(
    # Debian's own compiler and linker flags (hardening among them), as a
    # package built by Debian's tools would have; CMake takes no CPPFLAGS.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    eval "$(dpkg-buildflags --export=sh)"
    export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
    cmake -S . -B build/package/deb -DCMAKE_BUILD_TYPE=None -DVANTREL_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr -DVANTREL_UDEV_RULES_DIR=/lib/udev/rules.d > /dev/null
)
cmake --build build/package/deb -j "$jobs" > /dev/null
(cd build/package/deb && cpack -G DEB -B "$out/deb")

echo "== Windows setup program"
# The window and its Qt DLLs come from the Qt kit for Windows, built once per
# machine; SQLite from Debian's source, as the tests' Windows build has it.
sqlite=$(scripts/windows-sqlite.sh)
scripts/build-qt-windows.sh
cmake -S . -B build/package/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_SQLITE_AMALGAMATION="$sqlite" \
    "-DVANTREL_QT_WINDOWS_KIT=$(qt_windows_kit_dir)" > /dev/null
cmake --build build/package/windows -j "$jobs" > /dev/null
(cd build/package/windows && cpack -G NSIS -B "$out/windows")

mv "$out"/deb/*.deb "$out"/windows/*.exe "$out"/
rm -rf "$out/deb" "$out/windows"
ls -l "$out"
