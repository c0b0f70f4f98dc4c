# Sourced by the scripts that build something for the Windows cross build
# from Debian's own source packages (build-qt-windows.sh, windows-sqlite.sh),
# and that keep what they build once per machine below build_cache.

build_cache=${VANTREL_BUILD_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrel-update-build}

# debian_source WORK PACKAGE VERSION [--or-newest]
#
# Fetches Debian's source package PACKAGE of VERSION (with --or-newest, the
# newest the archive has when that version is gone) from the archive this
# machine installs from, and unpacks it, Debian's patches applied, into
# WORK/source. apt reads the machine's Debian entries for this release (those
# of /etc/apt/sources.list and /etc/apt/sources.list.d/) as deb-src, through
# a configuration and package lists of its own in WORK/apt, so that the
# machine's apt set-up stays as it is. apt's and dpkg-source's output goes to
# WORK/apt.log. When the source cannot be had, it says why on standard error
# and returns 1.
debian_source() {
    local work=$1 package=$2 version=$3 or_newest=${4:-}
    local apt_dir=$work/apt log=$work/apt.log codename file
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    rm -rf "$apt_dir" "$work/download" "$work/source"
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/download"
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Stanzas are separated by blank lines; an enabled deb stanza of this
        # release becomes the same stanza for deb-src.
        awk -v codename="$codename" 'BEGIN { RS = "" }
            {
                n = split($0, lines, "\n"); deb = 0; release = 0; enabled = 1; stanza = ""
                for (i = 1; i <= n; i++) {
                    line = lines[i]
                    if (line ~ /^Types:/) {
                        if ((substr(line, 7) " ") ~ /[ \t]deb[ \t]/) deb = 1
                        line = "Types: deb-src"
                    } else if (line ~ /^Suites:/ && index(line, codename)) {
                        release = 1
                    } else if (line ~ /^Enabled:[ \t]*no/) {
                        enabled = 0
                    }
                    stanza = stanza line "\n"
                }
                if (deb && release && enabled) printf "%s\n", stanza
            }' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
    done
    { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        sed -nE "s/^[[:space:]]*deb[[:space:]]+(.*[[:space:]]$codename[-[:alnum:]]*[[:space:]].*)/deb-src \1/p" \
            >"$apt_dir/sources.list.d/machine.list"

    local apt_options=(-o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
    # As root apt downloads as the user _apt, who may not reach a folder
    # below root's home.
    [ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)

    local why=
    if ! grep -qs . "$apt_dir"/sources.list.d/*; then
        why="no Debian $codename entry in the machine's apt sources"
    else
        # apt-get update ends well even when it could fetch nothing: what
        # counts is that the archive's index of sources has arrived.
        apt-get "${apt_options[@]}" -q update >"$log" 2>&1 || true
        if ! compgen -G "$apt_dir/lists/*_Sources*" >/dev/null; then
            why="the archive's index of source packages could not be fetched:"
            why+=" $(grep -E '^(E|Err|W):' "$log" | head -3 | paste -sd '|' | sed 's/|/; /g')"
        elif ! (cd "$work/download" && apt-get "${apt_options[@]}" -q source --download-only "$package=$version" ||
            { [ "$or_newest" = --or-newest ] &&
                apt-get "${apt_options[@]}" -q source --download-only "$package"; }) >>"$log" 2>&1; then
            why="apt-get source failed: $(grep -E '^E:' "$log" | head -2 | paste -sd '|' | sed 's/|/; /g')"
        elif ! dpkg-source -x "$work"/download/*.dsc "$work/source" >>"$log" 2>&1; then
            why="dpkg-source could not unpack it (see $log)"
        fi
    fi
    if [ -n "$why" ]; then
        echo "Cannot get Debian's source package $package $version: $why" >&2
        echo "It comes from the archive this machine installs from (the deb entries of /etc/apt/sources.list" \
            "and /etc/apt/sources.list.d/, read as deb-src)." >&2
        return 1
    fi
}
