#!/usr/bin/env bash
# Benchmark, not a test: under Wine, the time of one channel change against the simulated
# key transmitter, beside the bare I/O that no channel change can avoid (open the device,
# write four 9-byte reports, close it), with 1 and with 64 present HID interfaces, the
# transmitter last. Run after the windows build: benchmarks/wine-channel-change.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-500}
TUNER_BUILD=build/windows
source tests/wine/wine-env.sh
skip_unless_wine_runs_32bit

work="$TUNER_BUILD/benchmark"
use_simulator "$work"
for interfaces in 1 64; do
    : >"$work/scenario.txt"
    for ((i = 1; i < interfaces; i++)); do
        : >"$work/other$i"
        printf 'device 046D %04X - %s\n' "$i" "$(winpath "$work/other$i")" >>"$work/scenario.txt"
    done
    : >"$work/transmitter"
    printf 'device 6666 F100 - %s\n' "$(winpath "$work/transmitter")" >>"$work/scenario.txt"
    printf '%3d interfaces: ' "$interfaces"
    run_wine "$TUNER_BUILD/host/tuner-host.exe" "$TUNER_BUILD/plugins/Dovrane.dll" bench \
        "$(winpath "$work/transmitter")" "$rounds"
done
