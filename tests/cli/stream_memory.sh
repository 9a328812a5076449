#!/usr/bin/env bash
# stream_memory.sh DESSEC: 1 GiB from a generator through `des --binary`, in
# both directions, stays under 16 MB of memory (the largest resident set).
set -uo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 0123456789abcdef > "$work/key"
failures=0
for direction in -e -d; do
  rss=$(head -c 1073741824 /dev/zero | /usr/bin/time -o "$work/rss" -f %M \
        "$tool" des cbc "$direction" --key-file "$work/key" --binary --no-pad >/dev/null; cat "$work/rss")
  echo "des cbc $direction --binary, 1 GiB: max RSS $rss KB"
  [ "$rss" -lt $((16 * 1024)) ] || failures=$((failures + 1))
done
[ "$failures" -eq 0 ]
