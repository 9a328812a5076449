#!/usr/bin/env bash
# setup.sh [demo|package|test]: installs what the demo needs (a compiler,
# CMake, Ninja, OpenSSL's and CLI11's headers), that and Debian's packaging tools, or
# that and what the test command needs besides (default), on a Debian 12
# machine, when something is missing and we run as root.
set -euo pipefail
demo=(cmake ninja-build g++ libssl-dev libcli11-dev)
test=(clang libclang-rt-14-dev pkg-config libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev libcrypt-dev valgrind
      binutils openssl xxd g++-mingw-w64-i686-posix dpkg-dev man-db mandoc abigail-tools
      time bc python3 python3-pytest python3-hypothesis python3-pip python3-venv strace)
case ${1:-test} in
  demo) packages=("${demo[@]}") ;;
  package) packages=("${demo[@]}" dpkg-dev) ;;
  test) packages=("${demo[@]}" "${test[@]}") ;;
  *) echo "usage: setup.sh [demo|package|test]" >&2; exit 2 ;;
esac
"$(dirname "$0")/install-missing.sh" "${packages[@]}"
