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
  echo "== stage $1: $2"
}

scripts/setup.sh

stage normal "build and run every test"
scripts/build.sh build -DDESSEC_TESTS=ON -DDESSEC_BENCH=ON
ctest --test-dir build --output-on-failure -j "$jobs"

stage memcheck "unit tests under valgrind memcheck"
scripts/memcheck.sh build

stage asan "AddressSanitizer and UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DDESSEC_SANITIZE=ON -DDESSEC_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

stage windows "32-bit Windows build and distribution, tested under Wine"
scripts/windows.sh build-windows
tests/windows/wine_tests.sh build-windows build

stage tsan "calls from many threads at once under ThreadSanitizer"
scripts/build.sh build-tsan -DDESSEC_TSAN=ON -DDESSEC_BENCH=OFF
# dh runs some fifty times slower under ThreadSanitizer: half the rounds.
TSAN_OPTIONS=halt_on_error=1 DESSEC_TEST_SCALE=0.5 \
  ctest --test-dir build-tsan -L tsan --no-tests=error --output-on-failure -j "$jobs"

stage fuzz "every fuzz target for 20 seconds"
scripts/fuzz.sh 20

echo "all $((stages_passed + 1)) stages passed"
