#!/usr/bin/env bash
# Installs what is missing, builds the four plug-in DLLs and shows them at work.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset windows
cmake --build --preset windows
echo
echo "Plug-ins built in build/windows/plugins:"
ls -l build/windows/plugins/*.dll
echo
scripts/demo.sh
