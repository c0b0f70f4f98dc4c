#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build's Debian 12 packages is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git help2man
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    nlohmann-json3-dev libcli11-dev
    python3 python3-jsonschema  # the JSON contract's test checks vantrel-flash's output against its schema
    libsqlite3-dev libpq-dev  # the history: SQLite files and a line's PostgreSQL server
    postgresql-15  # the history's tests start a PostgreSQL server of their own
    libusb-1.0-0-dev umockdev libumockdev-dev
    qt6-base-dev fonts-dejavu-core xvfb xauth
    util-linux  # setpriv: the single-instance tests act as a second user
    clang libclang-rt-14-dev  # the fuzz harnesses: clang 14 and its libFuzzer and sanitizer runtimes
)

missing=()
for package in "${packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
