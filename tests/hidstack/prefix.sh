#!/usr/bin/env bash
# prefix.sh start|stop PREFIX ARCH SETUP-DIR
# start: boots a fresh Wine prefix of the kind ARCH (win32, win64, or wow64: a 64-bit prefix for
#        the 32-bit plug-ins, skipped where they cannot run) with no DLL overrides,
#        installs virtual key transmitter 1 from SETUP-DIR (transmitter-setup.exe, its driver and
#        INF, of the prefix's own bitness) and points the driver's log at PREFIX.log
# stop:  ends the prefix's Wine processes and checks that none is left
set -euo pipefail
action=$1
HIDSTACK_PREFIX=$2
HIDSTACK_ARCH=$3
setup=$4
source "$(dirname "$0")/hidstack-env.sh"

case $action in
start)
    if [ "$HIDSTACK_ARCH" != win64 ]; then
        skip_unless_wine_runs_32bit
    fi
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$HidstackLog"
    mkdir -p "$(dirname "$WINEPREFIX")"
    WINEDLLOVERRIDES="mscoree,mshtml=" wine_to "$WINEPREFIX.boot" "$setup/transmitter-setup.exe" list
    wineserver -w
    : >"$HidstackLog"
    wine_to "$WINEPREFIX.out" "$setup/transmitter-setup.exe" config --log "$(winpath "$HidstackLog")" --fail-from 0 \
        || { cat "$WINEPREFIX.out"; exit 1; }
    wine_to "$WINEPREFIX.out" "$setup/transmitter-setup.exe" add 1 || { cat "$WINEPREFIX.out"; exit 1; }
    cat "$WINEPREFIX.out"
    echo "Wine prefix ($WINEARCH) ready with virtual transmitter 1: $($Wine64 --version)"
    ;;
stop)
    stop_prefix
    ;;
*)
    echo "usage: prefix.sh start|stop PREFIX ARCH SETUP-DIR" >&2
    exit 2
    ;;
esac
