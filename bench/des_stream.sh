#!/usr/bin/env bash
# des_stream.sh DESSEC [MIB]: throughput of `dessec des --binary` beside
# `openssl enc` on the same file (64 MiB unless told), both directions,
# best of three runs each. Prints each ratio dessec/openssl of throughput;
# the target is at least 0.9. Times are CPU seconds (user and system), which a
# busy shared machine disturbs less than wall time.
set -euo pipefail
tool=$1
mib=${2:-64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key=0123456789abcdef
iv=1234567890abcdef
printf '%s\n' "$key" > "$work/key"
head -c $((mib * 1048576)) /dev/urandom > "$work/plain"
openssl enc -des-cbc -K $key -iv $iv -provider legacy -provider default -in "$work/plain" -out "$work/cipher"

best_of_three() {  # prints the least CPU time in seconds of three runs of "$@"
  local best="" t
  for _ in 1 2 3; do
    /usr/bin/time -o "$work/time" -f '%U + %S' "$@" >/dev/null 2>&1
    t=$(bc <"$work/time")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" -eq 1 ]; then best=$t; fi
  done
  echo "$best"
}

for direction in encrypt decrypt; do
  input=$work/plain; flag=-e; dflag=""
  [ $direction = decrypt ] && { input=$work/cipher; flag=-d; dflag=-d; }
  mine=$(best_of_three "$tool" des cbc $flag --key-file "$work/key" --iv $iv --binary --in "$input")
  theirs=$(best_of_three openssl enc -des-cbc $dflag -K $key -iv $iv -provider legacy -provider default \
           -in "$input")
  printf '%s %d MiB: dessec %.3f s, openssl enc %.3f s, throughput ratio %.2f (target >= 0.9)\n' \
    "$direction" "$mib" "$mine" "$theirs" "$(echo "$theirs / $mine" | bc -l)"
done
