#!/usr/bin/env bash
# check-release.sh ZIP BUILD-DIR NAME
# Unpacks the release archive and checks that it holds exactly the four plug-ins, the stand-in
# host, the README and a checksum file, that every checksum matches, and that the files are the
# ones the build made; and that the symbols archive beside it holds exactly their PDBs.
set -euo pipefail
zip=$1
build=$2
name=$3
[ -f "$zip" ] || { echo "FAIL: no release archive $zip (build it: cmake --build --preset release)"; exit 1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"

expected="$name/Dovrane.dll
$name/Dovrane2.dll
$name/README.md
$name/SHA256SUMS
$name/Tarrik.dll
$name/Tarrik2.dll
$name/tuner-host.exe"
actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "FAIL: the archive holds:"
    echo "$actual"
    exit 1
fi
(cd "$unpacked/$name" && sha256sum --check --strict SHA256SUMS)
[ "$(wc -l <"$unpacked/$name/SHA256SUMS")" -eq 6 ] || { echo "FAIL: SHA256SUMS does not list six files"; exit 1; }
for dll in Dovrane Dovrane2 Tarrik2 Tarrik; do
    cmp "$unpacked/$name/$dll.dll" "$build/plugins/$dll.dll"
done
cmp "$unpacked/$name/tuner-host.exe" "$build/host/tuner-host.exe"
echo "release archive $(basename "$zip"): $(stat -c %s "$zip") bytes, 7 files, checksums match"

symbols=${zip%.zip}-symbols.zip
[ -f "$symbols" ] || { echo "FAIL: no symbols archive $symbols"; exit 1; }
unzip -q "$symbols" -d "$unpacked"
expected="$name-symbols/Dovrane.pdb
$name-symbols/Dovrane2.pdb
$name-symbols/Tarrik.pdb
$name-symbols/Tarrik2.pdb
$name-symbols/tuner-host.pdb"
actual=$(cd "$unpacked" && find "$name-symbols" -type f | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "FAIL: the symbols archive holds:"
    echo "$actual"
    exit 1
fi
for dll in Dovrane Dovrane2 Tarrik2 Tarrik; do
    cmp "$unpacked/$name-symbols/$dll.pdb" "$build/plugins/$dll.pdb"
done
cmp "$unpacked/$name-symbols/tuner-host.pdb" "$build/host/tuner-host.pdb"
echo "symbols archive $(basename "$symbols"): $(stat -c %s "$symbols") bytes, 5 PDBs"
