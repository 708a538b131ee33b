# Sourced by the Wine test scripts: a private, headless Wine prefix inside the build tree.
# Needs TUNER_BUILD, the windows build tree.
TUNER_BUILD=$(cd "$TUNER_BUILD" && pwd)
export WINEPREFIX="$TUNER_BUILD/wine-prefix"
export WINEDEBUG=-all
export WINEARCH=win32

# shellcheck source=wine-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"

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
