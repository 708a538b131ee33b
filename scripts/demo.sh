#!/usr/bin/env bash
# Shows the built plug-ins at work under Wine: each one's properties, then one channel change
# against the simulated key transmitter, with the reports it received in hex.
set -euo pipefail
cd "$(dirname "$0")/.."
TUNER_BUILD=build/windows
source tests/wine/wine-env.sh
if ! wine_runs_32bit; then
    echo "This machine cannot run 32-bit programs (its kernel's IA-32 emulation is off), so Wine"
    echo "cannot run the plug-ins here; the DLLs are built, but not shown at work."
    exit 0
fi

demo="$TUNER_BUILD/demo"
use_simulator "$demo"
channel=101
for dll in Dovrane Dovrane2 Tarrik2 Tarrik; do
    : >"$demo/transmitter"
    printf 'device 046D C31C - %s\ndevice 6666 F100 - %s\n' "$(winpath "$demo/keyboard")" \
        "$(winpath "$demo/transmitter")" >"$demo/scenario.txt"
    : >"$demo/keyboard"
    echo "== $dll.dll"
    run_wine "$TUNER_BUILD/host/tuner-host.exe" "$TUNER_BUILD/plugins/$dll.dll" props
    run_wine "$TUNER_BUILD/host/tuner-host.exe" "$TUNER_BUILD/plugins/$dll.dll" tune "$channel"
    echo "Reports received by the simulated key transmitter:"
    od -An -v -tx1 -w9 "$demo/transmitter" | tr 'a-f' 'A-F' | sed 's/^ /  /'
    echo
done
