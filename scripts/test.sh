#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

echo "== normal build"
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DDESSEC_SANITIZE=ON -DDESSEC_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
tests/windows/check_dll.sh

echo "== fuzzing, 20 seconds per target"
scripts/fuzz.sh 20
