# Sourced by the scripts that run Windows programs under Wine: Wine quiet and
# headless, in the prefix that WINEPREFIX names (each script has its own
# below build/).

export WINEDEBUG=-all
# Wine would otherwise offer to download its Mono and Gecko add-ons, which
# nothing here needs and which cannot be fetched.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Creates the prefix WINEPREFIX unless it is there.
wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "== Creating the Wine prefix ${WINEPREFIX#"$PWD/"}"
        mkdir -p "$WINEPREFIX"
        wineboot -i
        # The prefix is complete only once the server that wrote it has gone.
        wineserver -w
    fi
}
