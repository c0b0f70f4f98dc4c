#!/usr/bin/env bash
# Makes the recorded sessions in tests/recordings/ again with the built
# vantrel-flash, on simulated adapters (docs/recordings.md). The tests replay
# each one through the tool and check its outcome; make them again when the
# engine is meant to talk to adapters differently, and read the difference.
#
#   tools/make_recordings.sh [VANTREL_FLASH]    (default: build/test/cli/vantrel-flash)
set -euo pipefail
cd "$(dirname "$0")/.."

flash=${1:-build/test/cli/vantrel-flash}
folder=tests/recordings
[ -x "$flash" ] || { echo "no $flash: build it first (cmake --build build/test --target vantrel-flash)" >&2; exit 1; }

# NAME, then the command and the simulated adapters, as vantrel-flash takes them.
#
# Each variant's install, on an adapter without firmware, and for the
# variants that reboot into their boot loader on connect also on one that
# runs its firmware: that install finds the adapter again and opens it anew.
# (The Max's install without firmware takes the Flex's path with 100 KB more
# of recording; the FTDI variants' with firmware differ in one reply.)
sessions=(
    "install-arm-standard        install --simulate arm-standard"
    "install-arm-basic           install --simulate arm-basic"
    "install-flex                install --simulate flex"
    "install-msp430              install --simulate msp430"
    "install-arm-basic-installed install --simulate arm-basic,installed"
    "install-flex-installed      install --simulate flex,installed"
    "install-max-installed       install --simulate max,installed"
    "install-if-needed-current   install --if-needed --simulate flex,installed"
    "list                        list --simulate max,serial=VT0004711,installed --simulate flex,serial=VT0004712 --simulate arm-basic,serial=04010007 --simulate msp430,serial=VT0004713,installed --simulate max,serial=VT0004714,fault=no-reply"
    "verify                      verify --simulate max,installed"
    "verify-differs              verify --simulate flex,installed,damaged=3,damaged=5"
    "fail-busy                   install --simulate max,fault=busy"
    "fail-no-reply               install --simulate max,installed,fault=no-reply"
    "fail-crc                    install --simulate arm-basic,fault=crc"
    "fail-unplug                 install --simulate flex,fault=unplug"
)

for session in "${sessions[@]}"; do
    read -ra words <<<"$session"
    name=${words[0]}
    # A failure is what some of them record: the exit code is the tests' to check.
    "$flash" --record "$folder/$name.jsonl" "${words[@]:1}" >/dev/null 2>&1 || true
    tail -n 1 "$folder/$name.jsonl" | grep -q '"op":"end"' || { echo "$name: the recording did not end" >&2; exit 1; }
    echo "$folder/$name.jsonl: $(wc -c <"$folder/$name.jsonl") bytes"
done

# An install stopped by Ctrl-C in the middle of its download: a recording
# says where the stop came, and its replay stops there (real time, so that
# the signal finds the install under way).
name=interrupted-install
"$flash" --record "$folder/$name.jsonl" install --real-time --simulate arm-standard >/dev/null 2>&1 &
sleep 0.5
kill -INT $!
wait $! || true
grep -q '"stop":2' "$folder/$name.jsonl" || { echo "$name: the stop is not in the recording" >&2; exit 1; }
echo "$folder/$name.jsonl: $(wc -c <"$folder/$name.jsonl") bytes"
