#!/usr/bin/env bash
# prefix.sh start|stop BUILD-DIR
# start: boots a fresh private Wine prefix and tells it, for the stand-in host alone, to prefer
#        the native hid.dll and setupapi.dll found beside it (the simulated key transmitter).
# stop:  ends the prefix's wineserver and checks that no Wine process of the tests is left.
set -euo pipefail
action=$1
TUNER_BUILD=$2
source "$(dirname "$0")/wine-env.sh"

case $action in
start)
    skip_unless_wine_runs_32bit
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    # Boot clean: no override reaches Wine's own processes, and no Mono or Gecko installer runs.
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i
    wineserver -w
    overrides="$TUNER_BUILD/host-overrides.reg"
    cat >"$overrides" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\tuner-host.exe\DllOverrides]
"hid"="native,builtin"
"setupapi"="native,builtin"
REG
    timeout 120 wine regedit /S "$(winpath "$overrides")"
    wineserver -w
    echo "Wine prefix ready: $(wine --version)"
    ;;
stop)
    stop_prefix
    ;;
*)
    echo "usage: prefix.sh start|stop BUILD-DIR" >&2
    exit 2
    ;;
esac
