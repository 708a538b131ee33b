#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12. Safe to run again:
# it installs only what is missing, and touches apt only when something is.
set -euo pipefail

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

packages=(
  cmake ninja-build g++ googletest libbenchmark-dev
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 clang lld llvm
  python3-pefile osslsigncode openssl
  valgrind clang-tidy cppcheck
  wine wine32:i386 wine64 g++-mingw-w64-x86-64-win32
  unzip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
