#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, its unit tests again
# under valgrind memcheck, a build with AddressSanitizer and
# UndefinedBehaviorSanitizer with the export check of a cross-built Windows
# DLL, and a ThreadSanitizer build for the tests of calls from many threads
# at once, then a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

echo "== normal build"
scripts/build.sh build -DDESSEC_TESTS=ON -DDESSEC_BENCH=ON
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== unit tests under valgrind memcheck"
scripts/memcheck.sh build

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DDESSEC_SANITIZE=ON -DDESSEC_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
tests/windows/check_dll.sh

echo "== ThreadSanitizer build"
scripts/build.sh build-tsan -DDESSEC_TSAN=ON -DDESSEC_BENCH=OFF
# dh runs some fifty times slower under ThreadSanitizer: half the rounds.
TSAN_OPTIONS=halt_on_error=1 DESSEC_TEST_SCALE=0.5 \
  ctest --test-dir build-tsan -L tsan --no-tests=error --output-on-failure -j "$jobs"
echo "== fuzzing, 20 seconds per target"
scripts/fuzz.sh 20
