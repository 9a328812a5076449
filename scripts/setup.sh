#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, when
# something is missing and we run as root.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libssl-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcrypt-dev valgrind binutils openssl xxd g++-mingw-w64-i686-posix
          libcli11-dev time bc python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
