#!/usr/bin/env bash
# The main job: builds the updater and runs its window on a simulated adapter
# (vantrel-update-demo) that takes as long as a real one. Arguments go to the
# demo; `scripts/run-demo.sh --help` lists them.
#
# With a display the window opens and waits for you. Without one it runs
# offscreen: it clicks Install Firmware by itself, prints every change of the
# status line until the install is over, saves pictures of the window in
# build/screenshots/ and ends.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j 2 --target vantrel-update vantrel-update-demo > /dev/null
demo=build/run/vantrel-update-demo

for argument in "$@"; do
    if [ "$argument" = --help ] || [ "$argument" = -h ]; then
        QT_QPA_PLATFORM=offscreen exec "$demo" --help
    fi
done

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$demo" "$@"
fi

echo "No display: the window runs offscreen and installs by itself."
mkdir -p build/screenshots
# A runtime folder of its own: an updater of this session elsewhere would
# otherwise take the start over.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
    "$demo" --auto-install --screenshots build/screenshots "$@" 2> >(grep -v "propagateSizeHints" >&2)
echo "Pictures of the window: build/screenshots/"
