#!/usr/bin/env bash
# e2e.sh BUILD-DIR CASE [DLL]
# One end-to-end case: the stand-in host, under Wine, loads a built plug-in DLL and calls it,
# while the simulated key transmitter presents the HID interfaces of a scenario whose devices
# are files in a scratch folder. The files then hold exactly the reports the plug-in wrote.
# The host itself fails when the plug-in leaves a set, a device or a handle open.
set -euo pipefail
TUNER_BUILD=$1
case_name=$2
dll=${3:-}
[ "$case_name" = rejects ] && dll=""
source "$(dirname "$0")/wine-env.sh"
skip_unless_wine_runs_32bit

host="$TUNER_BUILD/host/tuner-host.exe"
plugin="$TUNER_BUILD/plugins/$dll.dll"
work="$TUNER_BUILD/e2e/$case_name${dll:+-$dll}"
rm -rf "$work"
mkdir -p "$work"
export TUNER_SIMULATOR_SCENARIO
TUNER_SIMULATOR_SCENARIO=$(winpath "$work/scenario.txt")

deliverable_bytes "$dll"

# scenario LINE...: writes the scenario; every device file it names is created empty, except
# those marked absent (a path with no file behind it).
scenario() {
    : >"$work/scenario.txt"
    local line name
    for line in "$@"; do
        if [[ $line == device* ]]; then
            name=${line##* }
            [[ $line == *absent* ]] || : >"$work/$name"
            line="${line% *} $(winpath "$work/$name")"
            line=${line//absent,/}
        fi
        printf '%s\n' "$line" >>"$work/scenario.txt"
    done
}

hex_of() {
    od -An -v -tx1 "$1" | tr 'a-f' 'A-F' | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}

# The reports of one channel change: the lead-in key, then the last three digits.
reports_for() {
    local n=$1 out="" key
    for key in 80 "0$((n / 100 % 10))" "0$((n / 10 % 10))" "0$((n % 10))"; do
        out+="00 $selector $box $key 7A 7A 7A 7A 7A "
    done
    printf '%s' "${out% }"
}

expect_file() {
    local actual
    actual=$(hex_of "$work/$1")
    [ "$actual" = "$2" ] || fail "$1 holds [$actual], expected [$2]"
}

# tune CHANNEL...: changes channel through the host; every call must return 1.
tune() {
    local output
    output=$(run_wine "$host" "$plugin" tune "$@" 2>&1) || fail "host failed: $output"
    printf '%s\n' "$output"
    [ "$(grep -c 'returned 1 in' <<<"$output")" -eq $# ] || fail "not every call returned 1"
}

case $case_name in
props)
    # The exact record: both words, and each string over the host's pattern, which must
    # survive in every byte after the terminator.
    output=$(run_wine "$host" "$plugin" props --raw) || fail "host failed"
    printf '%s\n' "$output"
    display=$(sed -n 's/^  display name: "\(.*\)"$/\1/p' <<<"$output")
    description=$(sed -n 's/^  description:  "\(.*\)"$/\1/p' <<<"$output")
    case $dll in
    Dovrane) want_display="Dovrane" want_description="Kestrova tuner driver for a Sky+ digibox." ;;
    Dovrane2 | Tarrik) want_display="Dovrane (2nd Output)" want_description="Kestrova tuner driver for a Sky+ digibox using output #2." ;;
    Tarrik2) want_display="Tarrik (2nd Output)" want_description="Kestrova tuner driver for a Sky digibox using output #2." ;;
    esac
    [ "$display" = "$want_display" ] || fail "display name [$display]"
    [ "$description" = "$want_description" ] || fail "description [$description]"
    expected=()
    for ((i = 0; i < 528; i++)); do expected[i]=$(printf '%02X' $((0xA0 + i % 7))); done
    expected[0]=02 expected[1]=00 expected[2]=00 expected[3]=00
    expected[4]=01 expected[5]=00 expected[6]=00 expected[7]=00
    place() {
        local offset=$1 text=$2 j
        for ((j = 0; j < ${#text}; j++)); do
            expected[offset + j]=$(printf '%02X' "'${text:j:1}")
        done
        expected[offset + ${#text}]=00
    }
    place 8 "$want_display"
    place 268 "$want_description"
    [ "$(sed -n 's/^  record: //p' <<<"$output")" = "${expected[*]}" ] || fail "record bytes differ"
    ;;
props-match)
    # Tarrik and Dovrane2 leave byte-identical records.
    first=$(run_wine "$host" "$TUNER_BUILD/plugins/Tarrik.dll" props --raw | grep 'record:')
    second=$(run_wine "$host" "$TUNER_BUILD/plugins/Dovrane2.dll" props --raw | grep 'record:')
    [ -n "$first" ] && [ "$first" = "$second" ] || fail "Tarrik's and Dovrane2's records differ"
    echo "Tarrik and Dovrane2 leave identical records"
    ;;
mismatch-first)
    scenario "device 6666 F101 - other" "device 6666 F100 - tx"
    tune 42
    expect_file other ""
    expect_file tx "$(reports_for 42)"
    ;;
faults)
    # Each transmitter but the last shows one fault at one step of the search: all are
    # passed over, none is opened for writing.
    scenario "device 6666 F100 size-zero tx-size-zero" "device 6666 F100 size-short tx-size-short" \
        "device 6666 F100 detail-fetch tx-detail" "device 6666 F100 attributes tx-attributes" \
        "device 6666 F100 absent,- tx-missing" "device 6666 F100 - tx"
    tune 730
    for skipped in tx-size-zero tx-size-short tx-detail tx-attributes; do
        expect_file "$skipped" ""
    done
    [ ! -e "$work/tx-missing" ] || fail "a missing device was created"
    expect_file tx "$(reports_for 730)"
    ;;
no-set)
    scenario "no-set" "device 6666 F100 - tx"
    tune 5
    expect_file tx ""
    ;;
loads-native)
    scenario "device 6666 F100 - tx"
    log=$(WINEDEBUG=+loaddll run_wine "$host" "$plugin" tune 1 2>&1) || fail "host failed"
    for library in hid setupapi; do
        grep -qiE "host[\\]+$library\.dll\" at [0-9A-F]+: native" <<<"$log" ||
            fail "the simulated $library.dll was not loaded as native: $(grep -i "$library" <<<"$log")"
    done
    echo "the simulated hid.dll and setupapi.dll load as native"
    ;;
devices)
    # The listing shows every interface with its numbers, marks the transmitter and says it is ready.
    scenario "device 046D C31C - keyboard" "device 6666 F100 absent,- missing" "device 6666 F100 - tx"
    output=$(run_wine "$host" devices) || fail "devices failed: $output"
    printf '%s\n' "$output"
    grep -qE "^ +1\. vendor 0x046D product 0xC31C +Z:.*keyboard$" <<<"$output" || fail "keyboard not listed"
    grep -qE "^ +2\. cannot be opened \(error 2\) +Z:.*missing$" <<<"$output" || fail "missing device not listed"
    grep -qE "^ +3\. vendor 0x6666 product 0xF100 +Z:.*tx  <- key transmitter$" <<<"$output" || fail "transmitter not marked"
    grep -qF "Key transmitter found and ready" <<<"$output" || fail "transmitter not reported ready"
    ;;
devices-none)
    # No transmitter: the listing says so and ends with status 1; Wine's own HID stack, whatever
    # it presents, has no key transmitter either.
    scenario "device 046D C31C - keyboard"
    for overrides in "" "hid,setupapi=b"; do
        set +e
        output=$(WINEDLLOVERRIDES=$overrides run_wine "$host" devices 2>&1)
        actual=$?
        set -e
        printf '%s\n' "$output"
        [ "$actual" -eq 1 ] || fail "devices exited with $actual, expected 1"
        grep -qF "No key transmitter (vendor 0x6666, product 0xF100) found" <<<"$output" || fail "no verdict"
        ! grep -qF "<- key transmitter" <<<"$output" || fail "a transmitter was marked"
    done
    ;;
rejects)
    # rejects DLL STATUS MESSAGE: the host, given a faulty plug-in, ends with STATUS and says why.
    plugin="$TUNER_BUILD/$3"
    status=$4
    message=$5
    scenario "device 6666 F100 - tx"
    set +e
    output=$(run_wine "$host" "$plugin" tune 1 2>&1)
    actual=$?
    set -e
    printf '%s\n' "$output"
    [ "$actual" -eq "$status" ] || fail "host exited with $actual, expected $status"
    grep -qF -- "$message" <<<"$output" || fail "host did not say: $message"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name${dll:+ $dll}"
