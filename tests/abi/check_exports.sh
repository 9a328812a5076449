#!/usr/bin/env bash
# check_exports.sh LIBRARY EXPORT_LIST exact|subset
# EXPORT_LIST names a function a line, in its first field (src/exports.txt
# gives the ordinal beside it).
# Fails when the library exports a function that is not on the list, when a
# listed function is missing (exact only), or when the library reaches one of its own
# exports through a dynamic relocation (a same-named function loaded earlier
# in the process would then be called instead of ours).
set -euo pipefail
lib=$1
list=$2
mode=${3:-exact}

expected=$(awk 'NF {print $1}' "$list" | sort)
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwIi]$/ {print $3}' | sed 's/@.*//' \
  | grep -vxE '_init|_fini' | sort -u)

status=0
extra=$(comm -13 <(echo "$expected") <(echo "$exported"))
missing=$(comm -23 <(echo "$expected") <(echo "$exported"))
if [ -n "$extra" ]; then
  echo "exported beyond the public header: $(echo $extra)"
  status=1
fi
if [ "$mode" = exact ] && [ -n "$missing" ]; then
  echo "public functions not exported: $(echo $missing)"
  status=1
fi

own=$(readelf -rW "$lib" | awk 'NF >= 5 {print $5}' | sed 's/@.*//' | grep -xF -f <(echo "$expected") | sort -u || true)
if [ -n "$own" ]; then
  echo "dynamic relocations against the library's own exports: $(echo $own)"
  status=1
fi

[ $status -eq 0 ] && echo "exports: $(echo "$exported" | wc -l) functions, all listed ($mode); no self-relocations"
exit $status
