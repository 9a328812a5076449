#!/usr/bin/env bash
# memcheck.sh [DIR]: runs every unit test binary of the build in DIR (default
# build) under valgrind memcheck, at a reduced number of randomized rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
ctest --test-dir "$dir" -C memcheck -L memcheck --no-tests=error --output-on-failure -j "$(nproc)"
