# Sourced by the Wine test scripts: a private, headless Wine prefix inside the build tree.
# Needs TUNER_BUILD, the windows build tree.
TUNER_BUILD=$(cd "$TUNER_BUILD" && pwd)
export WINEPREFIX="$TUNER_BUILD/wine-prefix"
export WINEDEBUG=-all
export WINEARCH=win32
unset DISPLAY WAYLAND_DISPLAY

# A Unix path as Wine's Z: drive sees it.
winpath() {
    local p=${1//\//\\}
    printf 'Z:%s' "$p"
}

# Runs one Wine program, bounded in time, with its console's line ends made Unix ones.
run_wine() {
    timeout --kill-after=10 120 wine "$@" | tr -d '\r'
}
