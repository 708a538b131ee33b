#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the virtual key transmitter
# on Wine's own HID stack; the plug-ins under Wine, on that stack and with the simulated
# transmitter; the release, signing and build-graph checks; the native unit tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, with the PE checks of the DLLs (the release's,
# built twice, and GCC's); the unit tests again under ThreadSanitizer and under valgrind; and the
# static analysis of the plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in transmitter-x64 windows windows-again windows-gcc native native-tsan native-plain; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
cmake --build --preset release
for preset in transmitter-x64 windows native native-tsan native-plain; do
    echo "== tests: $preset"
    ctest --preset "$preset"
done
