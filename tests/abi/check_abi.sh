#!/usr/bin/env bash
# check_abi.sh check|write ABIDIFF_OR_ABIDW LIBRARY PROBE BASELINE_DIR
# The ABI of the first release of this soname lives in BASELINE_DIR:
# libdessec.so.0.abi, the library's exported symbols, their version and the
# soname, and dessec.h.abi, the types of the 13 functions as the header
# declares them, read from PROBE, a small library whose exported variables
# point to the functions (a release build of the library carries no debug
# information, and so no types).
# check: abidiff compares the built library and probe with the baseline and
# fails on any change but an added export; the soname must also be the
# baseline's. write: abidw records the baseline, once per soname.
set -euo pipefail
mode=$1
tool=$2
lib=$3
probe=$4
baseline=$5

if [ "$mode" = write ]; then
  # No paths of the build machine in the files.
  flags=(--no-corpus-path --no-comp-dir-path --no-show-locs)
  "$tool" "${flags[@]}" "$lib" >"$baseline/libdessec.so.0.abi"
  "$tool" "${flags[@]}" "$probe" >"$baseline/dessec.h.abi"
  echo "ABI baseline written to $baseline"
  exit 0
fi

status=0
compare() {
  local out rc=0
  out=$("$tool" --no-added-syms "$2" "$3" 2>&1) || rc=$?
  if [ $rc -ne 0 ]; then
    echo "abi: $1 differ from the baseline (abidiff exit $rc):"
    echo "$out"
    status=1
  fi
}
compare "the library's exports" "$baseline/libdessec.so.0.abi" "$lib"
compare "the header's function types" "$baseline/dessec.h.abi" "$probe"

expected=$(sed -n "s/^<abi-corpus .*soname='\([^']*\)'.*/\1/p" "$baseline/libdessec.so.0.abi")
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "$expected" ] || { echo "abi: the soname is '$soname', the baseline's '$expected'"; status=1; }

[ $status -eq 0 ] && echo "abi: $soname keeps every export, type and the soname of the baseline"
exit $status
