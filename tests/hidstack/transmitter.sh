#!/usr/bin/env bash
# transmitter.sh CASE PREFIX ARCH SETUP-DIR
# One case of the virtual key transmitter on the platform's own HID stack, driven by its set-up
# tool, a client of the prefix's own bitness: what the class driver and the driver make of
# output reports, failing writes, unplugging and a second device. Runs in the prefix that
# prefix.sh started, with virtual transmitter 1 installed.
set -euo pipefail
case_name=$1
HIDSTACK_PREFIX=$2
HIDSTACK_ARCH=$3
setup=$4/transmitter-setup.exe
source "$(dirname "$0")/hidstack-env.sh"
if [ "$HIDSTACK_ARCH" != win64 ]; then
    skip_unless_wine_runs_32bit
fi
out="$HIDSTACK_PREFIX.$case_name"

# Every case starts from an empty log, with writes succeeding.
: >"$HidstackLog"
tool config --fail-from 0 >/dev/null

report="00 30 0C 80 7A 7A 7A 7A 7A"
case $case_name in
reports)
    # Each 9-byte report reaches the driver once, in order, as the report ID and 8 bytes.
    for key in 80 01 00 01; do
        tool send 1 00 30 0C $key 7A 7A 7A 7A 7A
        grep -q "wrote 9 bytes, the device reported 8" "$out" || fail "unexpected write result"
    done
    expect_log "KT-0001 00000000 00 30 0C 80 7A 7A 7A 7A 7A
KT-0001 00000000 00 30 0C 01 7A 7A 7A 7A 7A
KT-0001 00000000 00 30 0C 00 7A 7A 7A 7A 7A
KT-0001 00000000 00 30 0C 01 7A 7A 7A 7A 7A"
    ;;
report-length)
    # The class driver refuses a report shorter than the device's 9 bytes and truncates a
    # longer one: the plug-ins' 9-byte reports are the length the platform wants.
    if wine_to "$out" "$setup" send 1 00 30 0C 80; then
        fail "a 4-byte write succeeded"
    fi
    cat "$out"
    grep -q "error 87" "$out" || fail "a short write did not fail with error 87"
    tool send 1 $report 01 02
    expect_log "KT-0001 00000000 $report"
    ;;
identity)
    tool list
    grep -q 'vendor 0x6666 product 0xF100 version 0x0100' "$out" || fail "no device 6666/F100 version 0x0100 listed"
    grep -q '\\\\?\\hid#vid_6666&pid_f100#0001#{4d1e55b2-f16f-11cf-88cb-001111000030}' "$out" \
        || fail "the interface path is not the one a real device would have"
    grep -qF 'virtual: "Kestrova tuner plug-ins", "Virtual key transmitter", serial "KT-0001"' "$out" \
        || fail "the device's strings are not as set"
    ;;
failing-writes)
    # From the 2nd write on, the device fails them with the chosen status.
    tool config --fail-from 2 --fail-status 0xC000009D
    tool send 1 $report
    for key in 01 00 01; do
        if wine_to "$out" "$setup" send 1 00 30 0C $key 7A 7A 7A 7A 7A; then
            fail "write $key succeeded"
        fi
        grep -q "error 1167" "$out" || { cat "$out"; fail "the write did not fail with the device's status"; }
    done
    expect_log "KT-0001 00000000 00 30 0C 80 7A 7A 7A 7A 7A
KT-0001 C000009D 00 30 0C 01 7A 7A 7A 7A 7A
KT-0001 C000009D 00 30 0C 00 7A 7A 7A 7A 7A
KT-0001 C000009D 00 30 0C 01 7A 7A 7A 7A 7A"
    ;;
unplug)
    # Removed, the device and its interface are gone; added again, it is found again.
    tool remove 1
    if wine_to "$out" "$setup" send 1 $report; then
        fail "a removed transmitter was written to"
    fi
    tool list
    if grep -q 'vendor 0x6666' "$out"; then
        fail "a removed transmitter is still listed"
    fi
    tool add 1
    tool send 1 $report
    expect_log "KT-0001 00000000 $report"
    ;;
two-devices)
    tool add 2 KT-SECOND
    tool send 2 $report
    tool send 1 $report
    tool remove 2
    expect_log "KT-SECOND 00000000 $report
KT-0001 00000000 $report"
    ;;
builtin-libraries)
    # The platform's own libraries serve the HID interfaces: nothing overrides them.
    WINEDEBUG=+loaddll wine_to "$out" "$setup" list || fail "transmitter-setup list failed"
    for library in hid.dll setupapi.dll; do
        line=$(grep -iF "system32\\\\$library\" at" "$out" | head -n 1)
        echo "$line"
        [[ $line == *": builtin" ]] || fail "$library was not loaded as Wine's builtin"
    done
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
