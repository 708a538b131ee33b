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
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    # Children started from here on do not carry the prefix; this script itself is skipped.
    prefix=$WINEPREFIX
    unset WINEPREFIX
    left=0
    for environ in /proc/[0-9]*/environ; do
        [ "$environ" = "/proc/$$/environ" ] && continue
        if tr '\0' '\n' 2>/dev/null <"$environ" | grep -qxF "WINEPREFIX=$prefix"; then
            pid=${environ#/proc/}
            pid=${pid%/environ}
            echo "still running: $pid $(tr '\0' ' ' 2>/dev/null </proc/$pid/cmdline)"
            left=1
        fi
    done
    if [ "$left" -ne 0 ]; then
        exit 1
    fi
    echo "no Wine process of the tests is left"
    ;;
*)
    echo "usage: prefix.sh start|stop BUILD-DIR" >&2
    exit 2
    ;;
esac
