#!/usr/bin/env bash
# check_library_only.sh SOURCE_DIR CMAKE GENERATOR CC CXX
# Configures dessec with CLI11 hidden from CMake, as on a machine without it:
# DESSEC_TOOL=AUTO leaves the tool out, ON stops the configuration, and OFF
# builds and installs the library, its header, its manual and its packages
# for callers, with no tool.
set -euo pipefail
source_dir=$1
cmake=$2
generator=$3
cc=$4
cxx=$5

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build=$scratch/build
status=0
fail() { echo "library alone: $*"; status=1; }
configure() {
  "$cmake" -S "$source_dir" -B "$build" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF "$@"
}

auto=$(configure -DDESSEC_TOOL=AUTO)
[[ $auto == *"DESSEC_TOOL=AUTO: CLI11 not found"* ]] || fail "DESSEC_TOOL=AUTO does not report the tool left out"
! configure -DDESSEC_TOOL=ON >/dev/null 2>&1 || fail "DESSEC_TOOL=ON configures without CLI11"
configure -DDESSEC_TOOL=OFF >/dev/null
"$cmake" --build "$build" >/dev/null
"$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null

cd "$scratch/prefix"
for wanted in include/dessec.h 'lib*/libdessec.so' 'lib*/pkgconfig/dessec.pc' 'lib*/cmake/dessec/dessecConfig.cmake' \
              share/man/man3/dessec.3dessec; do
  # shellcheck disable=SC2086
  [ -e "$(echo $wanted)" ] || fail "$wanted is not installed"
done
[ ! -e bin ] && [ ! -e share/man/man1 ] || fail "a tool or its manual is installed: $(find bin share/man/man1 -type f 2>/dev/null)"

[ $status -eq 0 ] && echo "without CLI11: AUTO leaves the tool out, ON refuses, OFF builds and installs the library alone"
exit $status
