#!/usr/bin/env bash
# Builds the Qt 6 kit for MinGW-w64 that the window's Windows build needs
# (Debian packages none): Debian's own qt6-base source, of the same version
# as the host Qt whose tools (moc, rcc, uic) and CMake packages the cross
# build uses, configured for Windows with only what the window and its tests
# need, built, and installed as shared DLLs into this machine's cache folder
# (scripts/qt-windows-kit.sh says where). Once there, later runs from any
# checkout reuse it.
#
#   scripts/build-qt-windows.sh [--jobs N]
#
# The source comes through a private apt configuration in
# build/qt-windows/apt/: deb-src entries for the machine's own Debian
# archive, with package lists of their own, so the machine's apt set-up is
# left as it was. The kit appears whole or not at all: it is installed into
# a temporary folder beside its place and moved there at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-windows-kit.sh

jobs=$(nproc)
while [ $# -gt 0 ]; do
    case $1 in
    --jobs) jobs=$2; shift 2 ;;
    *) echo "usage: $0 [--jobs N]" >&2; exit 2 ;;
    esac
done

scripts/install-dependencies.sh dpkg-dev ninja-build perl g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix

kit=$(qt_windows_kit_dir)
if [ -f "$kit/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "The Qt kit for Windows is already built: $kit"
    exit 0
fi

work=$PWD/build/qt-windows
log=$work/build.log
source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
upstream_version=${source_version%%-*}
started=$SECONDS
step() { printf '== [%s] %s\n' "$(date -u +%H:%M:%S)" "$*"; }
minutes() { printf '%d min %02d s' $(((SECONDS - $1) / 60)) $(((SECONDS - $1) % 60)); }

# One build of the kit at a time on this machine: a second checkout that
# asks for it meanwhile waits, then finds it there.
mkdir -p "$build_cache"
exec {lock}>"$build_cache/.build.lock"
if ! flock -n "$lock"; then
    step "Another build of the Qt kit is under way; waiting for it"
    flock "$lock"
    if [ -f "$kit/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        echo "The Qt kit for Windows is built: $kit"
        exit 0
    fi
fi

staging=$(mktemp -d "$build_cache/.incoming.XXXXXX")
trap 'rm -rf "$staging"' EXIT
# Stopped by a signal, it still goes through the clean-up above.
trap 'exit 1' INT TERM HUP

step "Building the Qt $upstream_version kit for Windows into $kit"
echo "   (Debian's qt6-base $source_version, the MinGW-w64 compiler $(x86_64-w64-mingw32-g++-posix -dumpfullversion)," \
    "$jobs jobs; the full log is $log)"
mkdir -p "$work"

step "Fetching Debian's source of qt6-base $source_version"
if ! debian_source "$work" qt6-base "$source_version"; then
    echo "No Qt kit for Windows was installed." >&2
    exit 1
fi
source_dir=$work/source
echo "   $(du -sh --apparent-size "$source_dir" | cut -f1) of sources in ${source_dir#"$PWD/"}"

# Shared Qt DLLs, with the compiler's runtime DLLs beside them (Qt offers a
# static runtime only for a static Qt): see docs/windows.md. Only the modules
# and plugins the window and its tests use: Core, Gui, Widgets, Network, Test;
# the windows platform plugin and the windowsvista style.
# -no-feature-tabletevent: Debian's source drops the tablet header Qt's
# Windows plugin would otherwise need.
configure_options=(
    -prefix "$kit" -release -shared
    -xplatform win32-g++ -qt-host-path /usr -nomake tests -nomake examples
    -no-opengl -no-dbus -no-icu -no-openssl
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-zstd
    -no-feature-sql -no-feature-printsupport -no-feature-concurrent -no-feature-xml
    -no-feature-tabletevent
    --
    "-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-x86_64-compilers.cmake"
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)
build_dir=$work/build
rm -rf "$build_dir"
mkdir -p "$build_dir"
step "Configuring (about a minute)"
echo "   configure ${configure_options[*]}"
if ! (cd "$build_dir" && "$source_dir/configure" "${configure_options[@]}") >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "Configuring the Qt kit failed; the log is $log. No kit was installed." >&2
    exit 1
fi

# Ninja's own count of steps, shown every twentieth of the way and at least
# each minute, so that a long build shows it is moving.
build_started=$SECONDS
steps=$(cd "$build_dir" && ninja -n | grep -c '^\[') || steps=0
step "Building $steps steps with $jobs jobs (about 26 minutes on two idle cores, longer beside other builds)"
shown=0
last_shown=$SECONDS
if ! (cd "$build_dir" && NINJA_STATUS='[%f/%t] ' ninja -j "$jobs") 2>&1 | tee -a "$log" |
    while IFS= read -r line; do
        if [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]]; then
            done_steps=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
            if [ $((done_steps * 20 / total)) -gt "$shown" ] || [ $((SECONDS - last_shown)) -ge 60 ]; then
                shown=$((done_steps * 20 / total))
                last_shown=$SECONDS
                printf '   %4d/%d steps (%d%%), %s\n' "$done_steps" "$total" $((done_steps * 100 / total)) \
                    "$(minutes "$build_started")"
            fi
        fi
    done; then
    grep -B2 -A20 -m3 -E 'error:|FAILED:' "$log" | head -60 >&2
    echo "Building the Qt kit failed; the log is $log. No kit was installed." >&2
    exit 1
fi
echo "   built in $(minutes "$build_started")"

step "Installing"
cmake --install "$build_dir" --prefix "$staging" --strip >>"$log" 2>&1 || {
    tail -20 "$log" >&2
    echo "Installing the Qt kit failed; the log is $log. No kit was installed." >&2
    exit 1
}
# The compiler's runtime DLLs that the Qt DLLs load, from the compiler the kit
# was built with, so that the kit holds all a Qt program needs to start;
# stripped as the Qt DLLs are (Debian's C++ library has its symbols, 24 MB).
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")" "$staging/bin/"
    x86_64-w64-mingw32-strip --strip-unneeded "$staging/bin/$dll"
done
# Into place in one step: a kit folder is either whole or absent.
chmod 755 "$staging"
mv -T "$staging" "$kit"
trap - EXIT
rm -rf "$source_dir" "$build_dir" "$work/download"
step "The Qt kit for Windows is ready: $kit ($(du -sh "$kit" | cut -f1)), $(minutes "$started") in all"
