#!/usr/bin/env bash
# Installs what is missing, builds the four plug-in DLLs, the stand-in host, the virtual key
# transmitter and the release archives, and shows the plug-ins at work under Wine, on Wine's own
# HID stack.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset transmitter-x64
cmake --build --preset transmitter-x64
cmake --preset windows
cmake --build --preset windows
cmake --build --preset release
echo
echo "Plug-ins built in build/windows/plugins:"
ls -l build/windows/plugins/*.dll
echo "Release archive: $(ls build/windows/kestrova-tuners-*-win32.zip)"
echo "Symbols archive: $(ls build/windows/kestrova-tuners-*-win32-symbols.zip)"
echo
scripts/demo.sh
