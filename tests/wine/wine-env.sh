# Sourced by the Wine test scripts: a private, headless Wine prefix inside the build tree.
# Needs TUNER_BUILD, the windows build tree.
TUNER_BUILD=$(cd "$TUNER_BUILD" && pwd)
export WINEPREFIX="$TUNER_BUILD/wine-prefix"
export WINEDEBUG=-all
export WINEARCH=win32
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

# Runs one Wine program, bounded in time, with its console's line ends made Unix ones.
run_wine() {
    timeout --kill-after=10 120 wine "$@" | tr -d '\r'
}

# For a script's own use of the simulated key transmitter: boots the build's private prefix,
# stops it again when the script exits, makes the scratch folder $1 afresh and points the
# simulator at the scenario file in it.
use_simulator() {
    local prefix_script
    prefix_script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/prefix.sh"
    "$prefix_script" start "$TUNER_BUILD" >/dev/null 2>&1
    # shellcheck disable=SC2064  # the paths are fixed now
    trap "'$prefix_script' stop '$TUNER_BUILD' >/dev/null" EXIT
    rm -rf "$1"
    mkdir -p "$1"
    export TUNER_SIMULATOR_SCENARIO
    TUNER_SIMULATOR_SCENARIO=$(winpath "$1/scenario.txt")
}
