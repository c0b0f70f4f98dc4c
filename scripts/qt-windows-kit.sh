# Sourced by the scripts that build or use the Qt 6 kit for MinGW-w64: where
# this machine keeps it. The kit is built once per machine (by
# scripts/build-qt-windows.sh) and shared by every checkout, so it lives in
# the user's cache folder (build_cache), not in a build folder. Its name holds everything
# that makes one kit differ from another: Debian's version of the Qt sources
# (the host Qt's own, whose tools the cross build uses), the cross compiler
# and its version, and the recipe below; a change to any of them makes a new
# kit beside the old one.

# Bumped whenever build-qt-windows.sh configures the kit differently.
qt_windows_kit_recipe=1

source "$(dirname "${BASH_SOURCE[0]}")/debian-source.sh"

# Prints the kit's folder; fails when the host Qt or the cross compiler is
# missing, since neither the kit's name nor the kit itself can be had then.
qt_windows_kit_dir() {
    local qt_version compiler_version
    qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null) || return 1
    compiler_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null) || return 1
    echo "$build_cache/qt-$qt_version-x86_64-w64-mingw32-gcc-$compiler_version-r$qt_windows_kit_recipe"
}
