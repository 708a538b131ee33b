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
