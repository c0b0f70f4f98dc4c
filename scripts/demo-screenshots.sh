# Sourced by the scripts that take pictures of the window: screenshots.sh on
# Linux (offscreen) and test-windows.sh under Wine.

# Saves PNG pictures of the window's main states in folder $1, from the demo
# that the rest of the arguments start: no adapter (no-device), an adapter
# ready with its release notes (device-ready), an install under way
# (installing), the new version read back (installed), and the "Error" box
# of a failed install (error).
take_demo_screenshots() {
    local out=$1
    shift
    local failed
    mkdir -p "$out"
    failed=$(mktemp -d)
    "$@" --auto-install --attach-after 1 --screenshots "$out" >/dev/null
    # The install fails, as asked: the demo ends with 1.
    "$@" --auto-install --variant msp430 --fault crc --screenshots "$failed" >/dev/null 2>&1 || [ $? -eq 1 ]
    cp "$failed/error.png" "$out/"
    rm -rf "$failed"
}
