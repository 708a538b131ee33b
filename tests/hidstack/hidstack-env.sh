# Sourced by the tests on the platform's own HID stack: a private Wine prefix with no DLL
# overrides (Wine's own setupapi.dll, hid.dll and hidclass.sys), with the virtual key
# transmitter's driver installed from the set-up folder.
# Needs HIDSTACK_PREFIX (the prefix's folder) and HIDSTACK_ARCH: win32, win64, or wow64 (a
# 64-bit prefix that is there for the 32-bit plug-ins alone).
# shellcheck source=../wine/wine-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../wine/wine-common.sh"
export WINEDEBUG=-all
export WINEPREFIX=$HIDSTACK_PREFIX
export WINEARCH=${HIDSTACK_ARCH/wow64/win64}
unset WINEDLLOVERRIDES

# The loader of 64-bit programs; `wine` starts 32-bit ones (in either kind of prefix).
Wine64=/usr/lib/wine/wine64

# wine_to FILE PROGRAM ARG...: runs a Wine program, bounded in time, its output into FILE with
# Unix line ends (Wine's services inherit the first program's output: never a pipe). Returns the
# program's exit status.
wine_to() {
    local file=$1 status=0
    shift
    local loader=wine
    if [ "$(od -An -j "$(($(od -An -j 60 -N 4 -tu4 "$1") + 4))" -N 2 -tx2 "$1" | tr -d ' ')" = 8664 ]; then
        loader=$Wine64
    fi
    timeout --kill-after=10 120 "$loader" "$@" >"$file.raw" 2>&1 || status=$?
    tr -d '\r' <"$file.raw" >"$file"
    rm -f "$file.raw"
    return "$status"
}

# The log of the virtual transmitters, as a Unix path and as Wine sees it.
HidstackLog="$HIDSTACK_PREFIX.log"

# tool ARG...: the set-up tool ($setup), which must succeed; its output is printed and left in
# $out.
tool() {
    wine_to "$out" "$setup" "$@" || { cat "$out"; fail "transmitter-setup $* failed"; }
    cat "$out"
}

# expect_log TEXT: the transmitters' log holds exactly TEXT.
expect_log() {
    local actual
    actual=$(cat "$HidstackLog")
    [ "$actual" = "$1" ] || fail "the log holds
$actual
expected
$1"
    echo "the transmitters received exactly the expected reports"
}
