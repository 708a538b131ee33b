#!/usr/bin/env bash
# Shows the built plug-ins at work under Wine, on Wine's own HID stack: a virtual key
# transmitter is installed in a private prefix, `tuner-host devices` finds it, and each plug-in
# shows its properties and changes to channel 101, with the reports the transmitter received.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/wine/wine-common.sh

if wine_runs_32bit; then
    arch=win32
    setup=build/windows/transmitter
else
    arch=win64
    setup=build/transmitter-x64/transmitter
fi
prefix=$(pwd)/build/demo/$arch
stop() { tests/hidstack/prefix.sh stop "$prefix" "$arch" "$setup" >/dev/null; }
trap stop EXIT
echo "Installing a virtual key transmitter in a fresh Wine prefix ($arch, no DLL overrides):"
tests/hidstack/prefix.sh start "$prefix" "$arch" "$setup"
HIDSTACK_PREFIX=$prefix HIDSTACK_ARCH=$arch source tests/hidstack/hidstack-env.sh
echo

if [ "$arch" = win64 ]; then
    echo "This machine cannot run 32-bit programs (\`wine --version\` fails), so Wine cannot run the"
    echo "32-bit plug-ins or tuner-host here. The 64-bit transmitter, written to by its set-up tool:"
    wine_to "$prefix.demo" "$setup/transmitter-setup.exe" list && cat "$prefix.demo"
    wine_to "$prefix.demo" "$setup/transmitter-setup.exe" send 1 00 30 0C 80 7A 7A 7A 7A 7A && cat "$prefix.demo"
    echo "The transmitter's log:"
    sed 's/^/  /' "$HidstackLog"
    exit 0
fi

host=build/windows/host/tuner-host.exe
wine_to "$prefix.demo" "$host" devices || true
cat "$prefix.demo"
for dll in Dovrane Dovrane2 Tarrik2 Tarrik; do
    echo
    echo "== $dll.dll"
    : >"$HidstackLog"
    wine_to "$prefix.demo" "$host" "build/windows/plugins/$dll.dll" props && cat "$prefix.demo"
    wine_to "$prefix.demo" "$host" "build/windows/plugins/$dll.dll" tune 101 && cat "$prefix.demo"
    echo "Reports received by the virtual key transmitter (serial, status, report):"
    sed 's/^/  /' "$HidstackLog"
done
