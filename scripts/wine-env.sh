# Sourced by the scripts that run Windows programs under Wine: Wine quiet, in
# the prefix that WINEPREFIX names (each script has its own below build/),
# with no display unless wine_display gives it one.

export WINEDEBUG=-all
# Wine would otherwise offer to download its Mono and Gecko add-ons, which
# nothing here needs and which cannot be fetched, and would copy the Start
# menu entries that a setup program makes into this machine's own menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# Creates the prefix WINEPREFIX unless it is there, and gives it the fonts
# and the look of scripts/wine-prefix.reg.
wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "== Creating the Wine prefix ${WINEPREFIX#"$PWD/"}"
        mkdir -p "$WINEPREFIX"
        wineboot -i
    fi
    wine reg import "Z:$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-prefix.reg" >/dev/null 2>&1
    # The prefix is complete only once the server that wrote it has gone.
    wineserver -w
}

# Starts a virtual X display (Xvfb, 1280x1024) on a free number for the
# windows of Windows programs, which Wine draws through X, and points DISPLAY
# at it. Call it before Wine's session starts: Wine's desktop takes the
# display of the first program that needs one. wine_display_stop ends it.
wine_display() {
    local number_file
    number_file=$(mktemp)
    # Xvfb writes the display's number once it takes connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    wine_xvfb=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        rm -f "$number_file"
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(head -1 "$number_file")"
    rm -f "$number_file"
}

wine_display_stop() {
    if [ -n "${wine_xvfb:-}" ]; then
        kill "$wine_xvfb" 2>/dev/null || true
        wait "$wine_xvfb" 2>/dev/null || true
        wine_xvfb=
    fi
}
