#!/usr/bin/env bash
# setup.sh [demo|package|test|PRESET]: installs what the demo needs (a
# compiler, CMake, Ninja, OpenSSL's and CLI11's headers), that and Debian's
# packaging tools, or that and what every preset of the test command needs
# besides (default: clang, the sanitizers' runtimes, valgrind, the mingw-w64
# and Debian cross compilers, Wine, qemu and LLVM's Windows tools), on a
# Debian 12 machine, when something is missing and we run as root. With the
# name of a configure preset, also provisions the prefix of the target's
# libraries that a cross preset configures against (scripts/deps-prefix.sh):
# the one step that downloads or builds a dependency; configure never does.
set -euo pipefail
demo=(cmake ninja-build g++ libssl-dev libcli11-dev)
test=(clang libclang-rt-14-dev pkg-config libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev libcrypt-dev valgrind
      binutils openssl xxd dpkg-dev man-db mandoc abigail-tools time bc make perl zip strace acl unicode-data
      python3 python3-pytest python3-hypothesis python3-pip python3-venv python3-dask python3-distributed
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine wine32:i386 wine64 lld llvm
      g++-aarch64-linux-gnu g++-s390x-linux-gnu g++-i686-linux-gnu qemu-user)
case ${1:-test} in
  demo) packages=("${demo[@]}") ;;
  package) packages=("${demo[@]}" dpkg-dev) ;;
  test | dev | release | memcheck | debug | asan | tsan | deb | fuzz | win32 | win64 | arm64 | s390x | i386)
    packages=("${demo[@]}" "${test[@]}") ;;
  *) echo "usage: setup.sh [demo|package|test|PRESET]" >&2; exit 2 ;;
esac
"$(dirname "$0")/install-missing.sh" "${packages[@]}"
"$(dirname "$0")/deps-prefix.sh" "${1:-test}"
