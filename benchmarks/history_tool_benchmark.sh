#!/usr/bin/env bash
# What keeping the history adds to an install through vantrel-flash, as a
# user meets it: the same simulated install (on the virtual clock, so that
# only the program's own work is timed) without a history, into an SQLite
# file, and into a PostgreSQL server on its local socket (started here from
# Debian's packages, committing to the disk as a line's would).
#
#   benchmarks/history_tool_benchmark.sh [BUILD_FOLDER] [RUNS]
#
# One install a process: the cost of the first entry, opening the file or
# connecting included. A station of 20 adapters: the cost of each entry
# once the store is open. Medians over RUNS (default 30) of each.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/test}
runs=${2:-30}
flash=$PWD/$build/cli/vantrel-flash
[ -x "$flash" ] || { echo "no $flash: build first" >&2; exit 2; }

work=$(mktemp -d)
server=/tmp/vantrel-postgres-bench-$$
cleanup() {
    bash tests/history/postgres_server.sh stop "$server" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
VANTREL_POSTGRES_FSYNC=on bash tests/history/postgres_server.sh start "$server"
export PGPASSWORD
PGPASSWORD=$(cat "$server/password")
export XDG_DATA_HOME=$work/data
unset VANTREL_HISTORY_URL
url="postgresql://vantrel@/postgres?host=$server"

station=(install --wait --count 20)
for i in $(seq 20); do
    station+=(--simulate max)
done

# Milliseconds that one run of the command takes, wall clock.
timed() {
    local start end
    start=$(date +%s%N)
    "$flash" "$@" >/dev/null 2>&1 || { echo "failed: vantrel-flash $*" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'; }

declare -A samples
configurations=(none sqlite postgres)
history_of() {
    case $1 in
    none) ;;
    sqlite) echo "--history $work/history.sqlite" ;;
    postgres) echo "--history $url" ;;
    esac
}
# The configurations take turns, so that whatever else the machine does
# weighs on each alike.
for run in $(seq "$runs"); do
    for configuration in "${configurations[@]}"; do
        # shellcheck disable=SC2046
        samples[install-$configuration]+="$(timed install --simulate max $(history_of "$configuration")) "
        # shellcheck disable=SC2046
        samples[station-$configuration]+="$(timed "${station[@]}" $(history_of "$configuration")) "
    done
done

for kind in install station; do
    base=$(tr ' ' '\n' <<<"${samples[$kind-none]}" | grep . | median)
    for configuration in "${configurations[@]}"; do
        value=$(tr ' ' '\n' <<<"${samples[$kind-$configuration]}" | grep . | median)
        if [ "$kind" = install ]; then
            added=$(awk -v a="$value" -v b="$base" 'BEGIN { printf "%.2f", a - b }')
            echo "one install, history $configuration: $value ms (history adds $added ms)"
        else
            added=$(awk -v a="$value" -v b="$base" 'BEGIN { printf "%.2f", (a - b) / 20 }')
            echo "station of 20, history $configuration: $value ms (history adds $added ms an entry)"
        fi
    done
done
