#!/usr/bin/env bash
# Builds and runs the whole test suite, a workflow preset of CMakePresets.json
# a stage, and ends with one line that says whether every stage passed, or
# which one failed. Every build treats warnings as errors; between them the
# stages build the library, the tool and the tests with g++ and clang in
# Debug and Release (the cross builds are g++ Release).
set -euo pipefail
cd "$(dirname "$0")/.."
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

stage_name=setup
stages_passed=-1
trap 'status=$?; [ $status -eq 0 ] || echo "stage $stage_name failed"' EXIT

# Stages in order; the Windows zips and the Debian packages are checked to
# come out the same from a second tree.
stages=(release memcheck asan win32 win64 tsan debug arm64 s390x i386 deb fuzz)
for stage_name in "${stages[@]}"; do
  stages_passed=$((stages_passed + 1))
  echo "== stage $stage_name (at ${SECONDS}s)"
  # The packages, and the prefix a cross preset configures against.
  scripts/setup.sh "$stage_name"
  cmake --workflow --preset "$stage_name"
done
echo "all $((stages_passed + 1)) stages passed in ${SECONDS}s"
