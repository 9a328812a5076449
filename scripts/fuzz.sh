#!/usr/bin/env bash
# fuzz.sh [SECONDS [TARGET...]]: builds the libFuzzer targets with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz, then runs
# each target named (every target by default) for SECONDS (default 20) on a
# fresh copy of its seed corpus from fuzz/corpus, and prints its executions
# and executions per second. Fails when any target finds a crash or a broken
# property; the input that did it is kept under build-fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
dir=build-fuzz

CC=clang CXX=clang++ scripts/build.sh "$dir" -DDESSEC_FUZZ=ON -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF

mkdir -p "$dir/artifacts"
failed=()
while read -r name; do
  [ -n "$name" ] || continue
  corpus=$dir/corpus/$name
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$name" ]; then cp -R "fuzz/corpus/$name/." "$corpus"; fi
  log=$dir/fuzz-$name.log
  if "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
       -artifact_prefix="$dir/artifacts/$name-" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '%-16s ok      %10s executions in %ss, %8s/s\n' "$name" "${runs:-?}" "$seconds" "${rate:-?}"
  else
    printf '%-16s FAILED  see %s\n' "$name" "$log"
    grep -E 'ERROR|property violated|runtime error|Test unit written' "$log" | head -n 20 || true
    failed+=("$name")
  fi
done < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cat "$dir/fuzz/fuzzers.txt"; fi)

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
