#!/usr/bin/env bash
# Builds and runs the whole test suite in stages and ends with one line that
# says whether every stage passed, or which one failed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

stage_name=setup
stages_passed=-1
trap 'status=$?; [ $status -eq 0 ] || echo "stage $stage_name failed"' EXIT
stage() {
  stages_passed=$((stages_passed + 1))
  stage_name=$1
  echo "== stage $1: $2 (at ${SECONDS}s)"
}

scripts/setup.sh test

# Every build treats warnings as errors. Between them the stages build the
# library, the tool and the tests with g++ and clang in Debug and Release:
# normal g++ Release, asan clang Debug, tsan clang Release, gcc-debug g++ Debug;
# the arm64, s390x and i386 cross builds are g++ Release.
werror=-DDESSEC_WERROR=ON
gcc="-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++"
clang="-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++"

stage normal "g++ Release build; every test"
scripts/build.sh build $gcc -DCMAKE_BUILD_TYPE=Release $werror -DDESSEC_TESTS=ON -DDESSEC_BENCH=ON
ctest --test-dir build --output-on-failure -j "$jobs"

stage memcheck "unit tests under valgrind memcheck"
scripts/memcheck.sh build

stage asan "clang Debug build with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-asan $clang -DCMAKE_BUILD_TYPE=Debug $werror -DDESSEC_SANITIZE=ON \
  -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

stage windows "32-bit and 64-bit Windows builds and distributions, tested under Wine"
scripts/windows.sh build-windows
tests/windows/wine_tests.sh build-windows build

stage tsan "clang Release build; calls from many threads at once under ThreadSanitizer"
scripts/build.sh build-tsan $clang -DCMAKE_BUILD_TYPE=Release $werror -DDESSEC_TSAN=ON \
  -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF
# dh runs some fifty times slower under ThreadSanitizer: half the rounds.
TSAN_OPTIONS=halt_on_error=1 DESSEC_TEST_SCALE=0.5 \
  ctest --test-dir build-tsan -L tsan --no-tests=error --output-on-failure -j "$jobs"

stage gcc-debug "g++ Debug build of the library, the tool and the tests"
scripts/build.sh build-debug $gcc -DCMAKE_BUILD_TYPE=Debug $werror -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF

stage arm64 "arm64 cross build with g++; unit and tool tests under qemu"
scripts/cross.sh arm64 build-arm64

stage s390x "big-endian s390x cross build with g++; unit and tool tests under qemu"
scripts/cross.sh s390x build-s390x

stage i386 "32-bit i386 cross build with g++; unit and tool tests under qemu"
scripts/cross.sh i386 build-i386

stage deb "Debian packages: install, use from the PATH, purge"
if [ "$(id -u)" -eq 0 ]; then
  rm -rf build-deb/debs
  scripts/package-deb.sh build-deb/debs
  tests/package/check_reproducible.sh build-deb/debs
  tests/package/check_deb.sh build-deb/debs "$(cat VERSION)"
else
  echo "not root: packages not installed"
fi

stage fuzz "every fuzz target for 20 seconds"
scripts/fuzz.sh 20

echo "all $((stages_passed + 1)) stages passed in ${SECONDS}s"
