# Sourced by every Wine test script: whether this machine can run the 32-bit programs, and
# Unix paths as Wine sees them.
unset DISPLAY WAYLAND_DISPLAY

# Wine runs a 32-bit Windows program in a 32-bit Linux process. A kernel that runs no 32-bit
# programs (its IA-32 emulation switched off, as on some virtual machines) cannot run the
# plug-ins or the host at all: the tests that need them are skipped there, and say why.
WineSkipStatus=77
wine_runs_32bit() {
    timeout 30 wine --version >/dev/null 2>&1
}
skip_unless_wine_runs_32bit() {
    if ! wine_runs_32bit; then
        echo "SKIPPED: this machine cannot run 32-bit programs (\`wine --version\` fails:" \
            "$(wine --version 2>&1 | tail -n 1)); the 32-bit plug-ins cannot run under Wine here"
        exit "$WineSkipStatus"
    fi
}

# A Unix path as Wine's Z: drive sees it.
winpath() {
    local p=${1//\//\\}
    printf 'Z:%s' "$p"
}

fail() {
    echo "FAIL: $*"
    exit 1
}

# Ends the Wine processes of $WINEPREFIX and checks that none is left. Returns 1 when one is.
stop_prefix() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    # Children started from here on do not carry the prefix; this script itself is skipped.
    local prefix=$WINEPREFIX environ pid left=0
    unset WINEPREFIX
    for environ in /proc/[0-9]*/environ; do
        [ "$environ" = "/proc/$$/environ" ] && continue
        if tr '\0' '\n' 2>/dev/null <"$environ" | grep -qxF "WINEPREFIX=$prefix"; then
            pid=${environ#/proc/}
            pid=${pid%/environ}
            echo "still running: $pid $(tr '\0' ' ' 2>/dev/null </proc/"$pid"/cmdline)"
            left=1
        fi
    done
    export WINEPREFIX=$prefix
    [ "$left" -eq 0 ] || return 1
    echo "no Wine process of the prefix is left"
}

# deliverable_bytes DLL: sets selector and box, the output selector and box code in hex that
# every report of the deliverable DLL carries (nothing for no DLL).
deliverable_bytes() {
    case $1 in
    Dovrane) selector=30 box=0C ;;
    Dovrane2 | Tarrik) selector=31 box=0C ;;
    Tarrik2) selector=31 box=00 ;;
    "") ;;
    *) fail "unknown deliverable $1" ;;
    esac
}
