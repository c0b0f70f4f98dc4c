#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: what it holds,
# lintian with Debian 12's profile, the desktop entry and the AppStream data;
# then installs it with apt-get, uses it from /usr/bin and removes it, which
# must leave the machine's packages and files as they were. It needs root,
# and refuses to run where a vantrel-update package is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh lintian desktop-file-utils appstream man-db bash-completion
version=$(sed -n 's/^project(VantrelUpdate VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb=$PWD/build/packages/vantrel-update_${version}_amd64.deb
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
scratch=$(mktemp -d)
cleanup() { rm -rf "$scratch"; }
trap cleanup EXIT

# dpkg knows the package: installed, or removed with its record kept.
package_known() { dpkg-query -W -f='${db:Status-Abbrev}' vantrel-update 2>/dev/null | grep -q '^.[^n]'; }
if [ "$(id -u)" -ne 0 ]; then
    echo "The check installs and removes the package: it needs root." >&2
    exit 1
fi
if package_known; then
    echo "A vantrel-update package is on this machine already," \
        "$(dpkg-query -W -f='version ${Version}, status ${Status}' vantrel-update)." >&2
    echo "The check would replace it and then remove it: remove it first (apt-get purge vantrel-update)." >&2
    exit 1
fi

echo "== Contents of $(basename "$deb")"
{
    echo ./lib/udev/rules.d/70-vantrel.rules
    echo ./usr/bin/vantrel-flash
    echo ./usr/bin/vantrel-update
    echo ./usr/share/applications/vantrel-update.desktop
    echo ./usr/share/bash-completion/completions/vantrel-flash
    echo ./usr/share/doc/vantrel-update/changelog.gz
    echo ./usr/share/doc/vantrel-update/copyright
    echo ./usr/share/doc/vantrel-update/json.md.gz
    echo ./usr/share/doc/vantrel-update/recordings.md.gz
    echo ./usr/share/icons/hicolor/scalable/apps/vantrel-update.svg
    # Every size the icon carries.
    for picture in app/icons/vantrel-update-*.png; do
        size=${picture##*-}
        size=${size%.png}
        echo "./usr/share/icons/hicolor/${size}x${size}/apps/vantrel-update.png"
    done
    echo ./usr/share/man/man1/vantrel-flash.1.gz
    echo ./usr/share/man/man1/vantrel-update.1.gz
    echo ./usr/share/metainfo/org.vantrel.VantrelUpdate.metainfo.xml
    echo ./usr/share/vantrel-update/vantrel-flash.schema.json
} | sort >"$scratch/expected"
# Files only: dpkg-deb lists each folder too, with a trailing slash.
dpkg-deb --contents "$deb" | awk '{print $NF}' | grep -v '/$' | sort >"$scratch/contents"
diff "$scratch/expected" "$scratch/contents" >"$scratch/difference" ||
    fail "the package holds other files than expected (< missing, > extra):" "$(cat "$scratch/difference")"

echo "== lintian"
# Errors and warnings fail. A warning that must stay goes into an override
# file (/usr/share/lintian/overrides/vantrel-update) with its reason beside it.
status=0
lintian --profile debian --fail-on error,warning --display-info "$deb" >"$scratch/lintian" 2>&1 || status=$?
grep -v "running with root privileges" "$scratch/lintian" || true
[ "$status" -eq 0 ] || fail "lintian found errors or warnings"

echo "== Desktop entry and AppStream metadata"
dpkg-deb --extract "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/vantrel-update.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/org.vantrel.VantrelUpdate.metainfo.xml" ||
    fail "appstreamcli validate"

echo "== apt-get install"
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Version}\n' | awk '$1 == "ii" {print $2, $3}' | sort; }
installed_packages >"$scratch/packages-before"
# A udevadm that fails, as it does in a container or a chroot, first on the
# path of the install's maintainer scripts: they must call it for the
# adapters and go on all the same. The removal meets the machine's own, or
# none, as on CI's machine.
mkdir "$scratch/fake-udev"
printf '#!/bin/sh\necho "$*" >>%s\nexit 1\n' "$scratch/udevadm-calls" >"$scratch/fake-udev/udevadm"
chmod 755 "$scratch/fake-udev/udevadm"
cleanup() {
    if package_known; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vantrel-update >/dev/null || true
    fi
    rm -rf "$scratch"
}

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends -o DPkg::Path="$scratch/fake-udev:/usr/sbin:/usr/bin:/sbin:/bin" \
    "$deb" >"$scratch/apt-install" 2>&1 || true
dpkg-query -W -f='${db:Status-Abbrev}' vantrel-update 2>/dev/null | grep -q '^ii' || {
    cat "$scratch/apt-install" >&2
    fail "apt-get install did not install the package"
    exit 1
}
grep -qx "control --reload-rules" "$scratch/udevadm-calls" 2>/dev/null &&
    grep -q "^trigger .*--subsystem-match=usb --attr-match=idVendor=131b" "$scratch/udevadm-calls" ||
    fail "the install did not reload the udev rules and trigger the adapters: $(cat "$scratch/udevadm-calls" 2>/dev/null)"

echo "== The installed programs"
[ "$(/usr/bin/vantrel-flash --version)" = "vantrel-flash $version (libusb backend)" ] ||
    fail "vantrel-flash --version printed: $(/usr/bin/vantrel-flash --version)"
/usr/bin/vantrel-flash list --simulate max >"$scratch/list" || fail "vantrel-flash list --simulate max exited with $?"
grep -q "Vantrel Max" "$scratch/list" || fail "vantrel-flash list --simulate max printed: $(cat "$scratch/list")"
if ldd /usr/bin/vantrel-update /usr/bin/vantrel-flash | grep "not found"; then
    fail "a library the programs need is not installed with the package"
fi
# The history's engines, found by dpkg-shlibdeps in the programs themselves.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libsqlite3-0 libpq5; do
    [[ $depends == *"$library "* || $depends == *"$library," ]] || fail "the package does not depend on $library: $depends"
done
XDG_DATA_HOME="$scratch/data" /usr/bin/vantrel-flash install --simulate max --history "$scratch/history.sqlite" \
    >/dev/null 2>&1 || fail "vantrel-flash install --simulate max --history exited with $?"
/usr/bin/vantrel-flash history --history "$scratch/history.sqlite" --csv >"$scratch/history.csv" ||
    fail "vantrel-flash history exited with $?"
grep -q '"installed"' "$scratch/history.csv" || fail "vantrel-flash history --csv printed: $(cat "$scratch/history.csv")"
for page in vantrel-flash vantrel-update; do
    [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man finds no page for $page"
done
MANWIDTH=80 man vantrel-flash 2>/dev/null >"$scratch/page"
for heading in NAME SYNOPSIS OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
    grep -q "^$heading\$" "$scratch/page" || fail "man vantrel-flash has no $heading"
done
grep -q -- "--simulate VARIANT" "$scratch/page" || fail "man vantrel-flash lacks the help's options"
grep -q -- "--require-history" "$scratch/page" || fail "man vantrel-flash lacks the history's options"

# The completion as bash loads it on demand, for the commands, the options
# that go with each and the simulated variants and faults, which the build
# made from the program's own tables.
cat >"$scratch/complete.bash" <<'EOF'
source /usr/share/bash-completion/bash_completion
_completion_loader vantrel-flash
compopt() { :; }
# Completes LINE with the cursor at its end, as bash splits it into words.
complete_line() {
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"${1//=/ = }"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$(complete -p vantrel-flash | sed 's/.*-F \([^ ]*\) .*/\1/')" vantrel-flash
    echo "${COMPREPLY[*]}"
}
complete_line "vantrel-flash "
complete_line "vantrel-flash install --simulate "
complete_line "vantrel-flash install --simulate msp430,fault=c"
complete_line "vantrel-flash list --"
complete_line "vantrel-flash install --"
complete_line "vantrel-flash history --"
complete_line "vantrel-flash history --outcome "
EOF
bash "$scratch/complete.bash" >"$scratch/completions" 2>&1
cat >"$scratch/completions-expected" <<'EOF'
list info install verify history help
arm-standard arm-basic max flex msp430 unsupported
connect crc
--json --simulate --real-time --timeout --record --anonymise --replay --version --help
--serial --port --all --if-needed --wait --count --json --simulate --real-time --timeout --record --anonymise --replay --history --no-history --require-history --station --version --help
--serial --json --history --station --since --until --outcome --csv --version --help
installed current verified differs failed skipped interrupted
EOF
diff "$scratch/completions-expected" "$scratch/completions" ||
    fail "bash completion of vantrel-flash (< expected, > got)"

echo "== apt-get remove"
dpkg-query -L vantrel-update | sort >"$scratch/installed-paths"
apt-get remove -y -qq vantrel-update >/dev/null
while read -r path; do
    # Folders are shared with other packages; the package's files must go.
    [ -d "$path" ] || [ ! -e "$path" ] || fail "apt-get remove left $path"
done <"$scratch/installed-paths"
# dpkg keeps the record of a removed package that has a postrm until it is
# purged, which runs the postrm once more.
apt-get purge -y -qq vantrel-update >/dev/null
if package_known; then
    fail "apt-get purge left the package's record: $(dpkg-query -W -f='${Status}' vantrel-update)"
fi
# Libraries that apt-get brought in for the package go with it.
comm -13 "$scratch/packages-before" <(installed_packages) | cut -d' ' -f1 >"$scratch/brought-in"
if [ -s "$scratch/brought-in" ]; then
    echo "Removing what the install brought in: $(tr '\n' ' ' <"$scratch/brought-in")"
    xargs apt-get purge -y -qq <"$scratch/brought-in" >/dev/null
fi
diff "$scratch/packages-before" <(installed_packages) ||
    fail "the installed packages differ after install and remove (< before, > after)"

if [ "$failures" -gt 0 ]; then
    echo "$failures failed, the Debian package $deb" >&2
    exit 1
fi
echo "The Debian package is complete, lintian-clean, installs, works and removes cleanly."
