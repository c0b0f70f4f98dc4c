#!/usr/bin/env bash
# A PostgreSQL server of the tests' own, from Debian's packages:
#
#   postgres_server.sh start FOLDER   # a new cluster in FOLDER, started
#   postgres_server.sh stop FOLDER    # stopped, and FOLDER gone
#   postgres_server.sh halt FOLDER    # stopped, FOLDER kept (start again with resume)
#   postgres_server.sh resume FOLDER
#
# It listens on a Unix socket in FOLDER only (no TCP), and takes logins of
# the user "vantrel" with the password in FOLDER/password. A server runs as
# no administrator: started by root, it runs as the user "nobody". It skips
# fsync, which tests need not wait for, unless VANTREL_POSTGRES_FSYNC=on (a
# benchmark's server commits as a line's would).
set -euo pipefail

action=$1
folder=$2
bindir=$(pg_config --bindir 2>/dev/null || true)
if [ ! -x "$bindir/initdb" ]; then
    bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
if [ ! -x "$bindir/initdb" ]; then
    echo "postgres_server.sh: no PostgreSQL server found (install postgresql)" >&2
    exit 1
fi

as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
    else
        "$@"
    fi
}

stop_server() {
    if [ -f "$folder/data/postmaster.pid" ]; then
        as_server "$bindir/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null || true
    fi
}

start_server() {
    # A log that the tests can read when something goes wrong.
    as_server "$bindir/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
        -o "-c listen_addresses='' -k $folder -c fsync=${VANTREL_POSTGRES_FSYNC:-off} -c max_connections=50" start >/dev/null
}

case $action in
start)
    # What an earlier run left, should it have been cut off.
    stop_server
    rm -rf "$folder"
    mkdir -p "$folder"
    chmod 0755 "$folder"
    echo "vantrel-test-password" >"$folder/password"
    [ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$folder"
    as_server "$bindir/initdb" -D "$folder/data" -U vantrel --pwfile="$folder/password" \
        --auth-local=scram-sha-256 --auth-host=reject -E UTF8 --locale=C --no-sync >"$folder/initdb.log"
    start_server
    ;;
resume) start_server ;;
halt) stop_server ;;
stop)
    stop_server
    rm -rf "$folder"
    ;;
*)
    echo "usage: postgres_server.sh start|stop|halt|resume FOLDER" >&2
    exit 2
    ;;
esac
