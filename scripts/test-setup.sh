#!/usr/bin/env bash
# Checks the Windows setup program that scripts/package.sh built: its icon and
# version block, then under Wine, in a fresh prefix of its own, a silent
# install, the installed vantrel-flash.exe, the installed window started from
# its Start menu entry (a picture of it in build/setup-check/), the
# Add/Remove Programs entry, and a silent uninstall that leaves the prefix as
# it was before.
set -euo pipefail
cd "$(dirname "$0")/.."

# xwd and netpbm: the picture of the installed window.
scripts/install-dependencies.sh binutils-mingw-w64-x86-64 wine wine64 x11-utils x11-apps netpbm
version=$(sed -n 's/^project(VantrelUpdate VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
setup=build/packages/Vantrel-Update-$version-Setup.exe
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

echo "== The setup program's icon and version block"
resources=$(x86_64-w64-mingw32-windres -i "$setup" -O rc)
grep -q "Has 6 elements" <<<"$resources" || fail "the setup program lacks the six-picture icon"
for line in "PRODUCTVERSION ${version//./, }, 0" "FILEVERSION ${version//./, }, 0" \
    "VALUE \"ProductName\", \"Vantrel Update\"" "VALUE \"ProductVersion\", \"$version\""; do
    grep -qF "$line" <<<"$resources" || fail "the setup program's version block lacks: $line"
done

echo "== Silent install and uninstall under Wine"
export WINEPREFIX="$PWD/build/wine-setup-check"
rm -rf "$WINEPREFIX"
source scripts/wine-env.sh
wine_display
scratch=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; wine_display_stop; rm -rf "$scratch"' EXIT
wine_prefix_ready >/dev/null 2>&1

folder="$WINEPREFIX/drive_c/Program Files/Vantrel Update"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel Update'
# Runs a Windows program and waits for every process it started: the
# uninstaller, for one, returns at once and works from a copy of itself.
# Output goes to a file, since Wine's background processes hold on to it.
run() {
    local output=$1
    shift
    local status=0
    wine "$@" >"$output" 2>&1 || status=$?
    wineserver -w
    tr -d '\r' <"$output" >"$output.text"
    return $status
}

# What the prefix holds: its files and folders and its registry keys. The
# user's temporary folder is left out: NSIS's uninstaller runs from a copy
# there, which Windows deletes at the next restart.
snapshot() {
    (cd "$WINEPREFIX" &&
        find drive_c -path 'drive_c/users/*/Temp' -prune -o -print &&
        grep -h '^\[' system.reg user.reg | sed 's/\] [0-9]*$/]/') | sort
}
added() { comm -13 "$1" "$2"; }

snapshot >"$scratch/before"
run "$scratch/install" "$setup" /S || fail "the silent install exited with $?"
snapshot >"$scratch/installed"
start_menu_entry="drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantrel Update.lnk"
expected_added=$(printf '%s\n' \
    "drive_c/Program Files/Vantrel Update" \
    "drive_c/Program Files/Vantrel Update/Uninstall.exe" \
    "drive_c/Program Files/Vantrel Update/bin" \
    "drive_c/Program Files/Vantrel Update/bin/vantrel-flash.exe" \
    "drive_c/Program Files/Vantrel Update/bin/vantrel-update.exe" \
    "drive_c/Program Files/Vantrel Update/bin/Qt6Core.dll" \
    "drive_c/Program Files/Vantrel Update/bin/Qt6Gui.dll" \
    "drive_c/Program Files/Vantrel Update/bin/Qt6Network.dll" \
    "drive_c/Program Files/Vantrel Update/bin/Qt6Widgets.dll" \
    "drive_c/Program Files/Vantrel Update/bin/libgcc_s_seh-1.dll" \
    "drive_c/Program Files/Vantrel Update/bin/libstdc++-6.dll" \
    "drive_c/Program Files/Vantrel Update/bin/libwinpthread-1.dll" \
    "drive_c/Program Files/Vantrel Update/bin/platforms" \
    "drive_c/Program Files/Vantrel Update/bin/platforms/qwindows.dll" \
    "drive_c/Program Files/Vantrel Update/bin/styles" \
    "drive_c/Program Files/Vantrel Update/bin/styles/qwindowsvistastyle.dll" \
    "drive_c/Program Files/Vantrel Update/doc" \
    "drive_c/Program Files/Vantrel Update/doc/json.md" \
    "drive_c/Program Files/Vantrel Update/doc/vantrel-flash.schema.json" \
    "$start_menu_entry" \
    '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel Update]' | sort)
[ "$(added "$scratch/before" "$scratch/installed")" = "$expected_added" ] ||
    fail "the install added other than the program folder and its uninstall key:" \
        "$(diff <(echo "$expected_added") <(added "$scratch/before" "$scratch/installed"))"

grep -q "Has 6 elements" <<<"$(x86_64-w64-mingw32-windres -i "$folder/bin/vantrel-update.exe" -O rc)" ||
    fail "the installed vantrel-update.exe lacks the six-picture icon that its Start menu entry shows"

run "$scratch/version" 'C:\Program Files\Vantrel Update\bin\vantrel-flash.exe' --version ||
    fail "the installed vantrel-flash.exe --version exited with $?"
[ "$(cat "$scratch/version.text")" = "vantrel-flash $version (Win32 backend)" ] ||
    fail "the installed vantrel-flash.exe --version printed: $(cat "$scratch/version.text")"

echo "== The installed window, started from its Start menu entry"
window_picture=build/setup-check/installed-window.png
rm -rf build/setup-check
mkdir -p build/setup-check
entry="C:/${start_menu_entry#drive_c/}"
wine start "${entry//\//\\}" >"$scratch/window" 2>&1 || fail "the Start menu entry did not start: $?"
window=
for _ in $(seq 120); do
    window=$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Vantrel Update": .*/\1/p' | head -1)
    [ -n "$window" ] && break
    sleep 0.5
done
if [ -n "$window" ]; then
    # Drawn: the window's status line has had its first look at the devices.
    sleep 3
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$window_picture"
    geometry=$(xwininfo -id "$window" | sed -n 's/^ *-geometry //p')
    echo "   $geometry, a picture of it in $window_picture"
    [[ $geometry == 650x512+* ]] || fail "the installed window is not 650x512: $geometry"
    # Closed as a user closes it: the window gets WM_CLOSE.
    wine taskkill /im vantrel-update.exe >/dev/null 2>&1 || fail "the window would not be asked to close"
else
    fail "the installed vantrel-update.exe showed no window within a minute: $(tr -d '\r' <"$scratch/window")"
fi
# Every program it started has ended.
if ! timeout 60 wineserver -w; then
    fail "the window was still there a minute after it was asked to close"
    wineserver -k
fi

run "$scratch/entry" reg query "$key" || fail "no uninstall key after the install"
for value in "DisplayName    REG_SZ    Vantrel Update" \
    "DisplayVersion    REG_SZ    $version" \
    "DisplayIcon    REG_SZ    C:\\Program Files\\Vantrel Update\\Uninstall.exe,0" \
    "Publisher    REG_SZ    Vantrel" \
    "UninstallString    REG_SZ    \"C:\\Program Files\\Vantrel Update\\Uninstall.exe\"" \
    "QuietUninstallString    REG_SZ    \"C:\\Program Files\\Vantrel Update\\Uninstall.exe\" /S"; do
    grep -qF "$value" "$scratch/entry.text" || fail "the uninstall key lacks: $value"
done

run "$scratch/uninstall" 'C:\Program Files\Vantrel Update\Uninstall.exe' /S ||
    fail "the silent uninstall exited with $?"
[ ! -e "$folder" ] || fail "the uninstall left $(find "$folder" | sed "s|^$WINEPREFIX/||")"
if run "$scratch/entry-after" reg query "$key"; then
    fail "the uninstall left the uninstall key"
fi
snapshot >"$scratch/after"
[ -z "$(added "$scratch/before" "$scratch/after")" ] ||
    fail "the install and uninstall left behind: $(added "$scratch/before" "$scratch/after")"

rm -rf "$WINEPREFIX"
if [ "$failures" -gt 0 ]; then
    echo "$failures failed, the setup program $setup" >&2
    exit 1
fi
echo "The setup program installs, runs and uninstalls cleanly."
