#!/usr/bin/env bash
# expect-failure.sh MESSAGE COMMAND [ARG...]
# Passes when COMMAND exits with status 1 and prints MESSAGE: a check rejecting a fault for the
# right reason. Any other outcome, a pass or a crash included, fails.
set -u
message=$1
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -ne 1 ]; then
    echo "expected exit status 1, got $status"
    exit 1
fi
if ! grep -qF -- "$message" <<<"$output"; then
    echo "expected the output to say: $message"
    exit 1
fi
