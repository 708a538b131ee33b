#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the native unit tests under
# the sanitizers, the checks of the built DLLs and their end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in windows windows-again native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset windows
ctest --preset native
