#!/usr/bin/env bash
# setup.sh [demo|package|test]: installs what the demo needs (a compiler,
# CMake, Ninja, OpenSSL's and CLI11's headers), that and Debian's packaging
# tools, or that and what every preset of the test command needs besides
# (default: clang, the sanitizers' runtimes, valgrind, the mingw-w64 and
# Debian cross compilers, Wine, qemu and LLVM's Windows tools), on a Debian 12
# machine, when something is missing and we run as root.
set -euo pipefail
demo=(cmake ninja-build g++ libssl-dev libcli11-dev)
test=(clang libclang-rt-14-dev pkg-config libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev libcrypt-dev valgrind
      binutils openssl xxd dpkg-dev man-db mandoc abigail-tools time bc make perl zip strace acl unicode-data
      python3 python3-pytest python3-hypothesis python3-pip python3-venv
      g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine wine32:i386 wine64 lld llvm
      g++-aarch64-linux-gnu g++-s390x-linux-gnu g++-i686-linux-gnu qemu-user)
case ${1:-test} in
  demo) packages=("${demo[@]}") ;;
  package) packages=("${demo[@]}" dpkg-dev) ;;
  test) packages=("${demo[@]}" "${test[@]}") ;;
  *) echo "usage: setup.sh [demo|package|test]" >&2; exit 2 ;;
esac
"$(dirname "$0")/install-missing.sh" "${packages[@]}"
