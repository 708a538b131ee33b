#!/usr/bin/env bash
# plugins.sh CASE PREFIX ARCH SETUP-DIR BUILD-DIR [DLL]
# One case of the plug-ins on the platform's own HID stack: the 32-bit stand-in host of
# BUILD-DIR loads a plug-in DLL and changes channel, and the virtual key transmitters installed
# in the prefix (by SETUP-DIR's set-up tool, of the prefix's own bitness) record what reaches
# them. ARCH win32: a 32-bit prefix; wow64: a 64-bit prefix, where host and plug-in run under
# WoW64 and talk to the 64-bit driver.
set -euo pipefail
case_name=$1
HIDSTACK_PREFIX=$2
HIDSTACK_ARCH=$3
setup=$4/transmitter-setup.exe
build=$5
dll=${6:-}
source "$(dirname "$0")/hidstack-env.sh"
skip_unless_wine_runs_32bit
host="$build/host/tuner-host.exe"
# TUNER_PLUGIN_DIR: where the DLLs are taken from, when not from the build (a signed release).
plugin="${TUNER_PLUGIN_DIR:-$build/plugins}/$dll.dll"
out="$HIDSTACK_PREFIX.$case_name${dll:+-$dll}"

# tune CHANNEL...: every call must return 1.
tune() {
    wine_to "$out" "$host" "$plugin" tune "$@" || { cat "$out"; fail "the host failed"; }
    cat "$out"
    [ "$(grep -c 'returned 1 in' "$out")" -eq $# ] || fail "not every call returned 1"
}

deliverable_bytes "$dll"

# log_for SERIAL STATUS... CHANNEL: the log lines of one channel change; one status for all four
# reports, or four.
log_for() {
    local serial=$1 n=${*: -1} statuses=("${@:2:$#-2}") key i=0
    for key in 80 "0$((n / 100 % 10))" "0$((n / 10 % 10))" "0$((n % 10))"; do
        printf '%s %s 00 %s %s %s 7A 7A 7A 7A 7A\n' "$serial" "${statuses[$((i < ${#statuses[@]} ? i : 0))]}" \
            "$selector" "$box" "$key"
        i=$((i + 1))
    done
}

: >"$HidstackLog"
tool config --fail-from 0 >/dev/null

case $case_name in
channels)
    tune 0 101 999 4294967295
    expect_log "$(for n in 0 101 999 4294967295; do log_for KT-0001 00000000 "$n"; done)"
    ;;
no-transmitter)
    tool remove 1
    tune 101
    tool add 1
    expect_log ""
    ;;
replug)
    # Nothing is cached between channel changes: unplugged, nothing is sent; plugged in again,
    # the transmitter is found again.
    tune 101
    tool remove 1
    tune 7
    tool add 1
    tune 42
    expect_log "$(log_for KT-0001 00000000 101; log_for KT-0001 00000000 42)"
    ;;
two-transmitters)
    tool add 2 KT-0002
    wine_to "$out" "$host" devices || { cat "$out"; fail "no transmitter ready"; }
    cat "$out"
    first=$(grep -m1 '<- key transmitter' "$out")
    case $first in
    *'#0001#'*) serial=KT-0001 ;;
    *'#0002#'*) serial=KT-0002 ;;
    *) fail "cannot tell which transmitter is listed first" ;;
    esac
    tune 101
    tool remove 2
    expect_log "$(log_for "$serial" 00000000 101)"
    ;;
failing-writes)
    # A transmitter that stops answering after the first report: the remaining keys are still
    # tried, the call returns 1 and the host finds nothing left open.
    tool config --fail-from 2 --fail-status 0xC000009D
    tune 101
    tool config --fail-from 0
    expect_log "$(log_for KT-0001 00000000 C000009D C000009D C000009D 101)"
    ;;
soak)
    wine_to "$out" "$host" "$plugin" soak 1000 || { cat "$out"; fail "the soak failed"; }
    cat "$out"
    [ "$(wc -l <"$HidstackLog")" -eq 4000 ] || fail "the log holds $(wc -l <"$HidstackLog") reports, not 4000"
    [ "$(grep -vc ' 00000000 00 ' "$HidstackLog")" -eq 0 ] || fail "some reports failed"
    echo "the transmitter received 4000 reports"
    ;;
soak-leaky)
    # A plug-in that leaks its write handle must fail the soak.
    if wine_to "$out" "$host" "$build/host-fixtures/LeakyWrite.dll" soak 100; then
        cat "$out"
        fail "the soak passed a leaking plug-in"
    fi
    cat "$out"
    grep -q "more handle(s) open" "$out" || fail "the soak did not name the leak"
    ;;
devices)
    wine_to "$out" "$host" devices || { cat "$out"; fail "tuner-host devices failed"; }
    cat "$out"
    grep -q "Key transmitter found and ready" "$out" || fail "the transmitter is not ready"
    ;;
bench)
    wine_to "$out" "$host" devices || { cat "$out"; fail "no transmitter ready"; }
    path=$(sed -n 's/^Key transmitter found and ready: the plug-ins send their keys to //p' "$out")
    wine_to "$out" "$host" "$plugin" bench "$path" 200 || { cat "$out"; fail "the bench failed"; }
    cat "$out"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
