#!/usr/bin/env bash
# check_install.sh BUILD_DIR CONSUMER_DIR CMAKE GENERATOR CC PKG_CONFIG VERSION
# Installs BUILD_DIR into a scratch prefix, checks the library's soname links,
# runs the installed tool with no library path set, then builds the consumer
# against the installed tree twice, through the CMake package and through
# pkg-config, and runs both builds. The tool, dessec.pc, the CMake package and
# the header's macros must all report VERSION.
set -euo pipefail
build=$1
consumer=$2
cmake=$3
generator=$4
cc=$5
pkg_config=$6
version=$7

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

pc=$(find "$prefix" -name dessec.pc -path '*/pkgconfig/*')
[ -n "$pc" ] || { echo "no dessec.pc installed"; exit 1; }
# Only the scratch tree is searched, so a dessec.pc elsewhere cannot stand in.
export PKG_CONFIG_LIBDIR=${pc%/*}
libdir=$("$pkg_config" --variable=libdir dessec)
includedir=$("$pkg_config" --variable=includedir dessec)

[ -f "$includedir/dessec.h" ] || { echo "dessec.h not installed in $includedir"; exit 1; }
soname=$(readelf -d "$libdir/libdessec.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ ! -L "$libdir/libdessec.so" ] || [ -z "$soname" ] || [ ! -L "$libdir/$soname" ] \
   || [ -L "$(readlink -f "$libdir/$soname")" ]; then
  echo "libdessec.so and its soname link $soname do not lead to the versioned library"
  exit 1
fi

echo "-- installed tool"
# The tool finds the library through its own RPATH, from wherever it is installed.
tool_version=$(env -u LD_LIBRARY_PATH "$prefix/bin/dessec" --version)
[ "$tool_version" = "dessec $version" ] || { echo "dessec --version says '$tool_version', not 'dessec $version'"; exit 1; }
[ -s "$prefix/share/man/man1/dessec.1" ] || { echo "dessec.1 not installed in share/man/man1"; exit 1; }
# The library's manual: a page, or a link to one, for every export.
for name in $(awk '{print $1}' "$(dirname "$0")/../../src/exports.txt"); do
  [ -s "$prefix/share/man/man3/$name.3dessec" ] || { echo "no manual page $name.3dessec in share/man/man3"; exit 1; }
done
pc_version=$("$pkg_config" --modversion dessec)
[ "$pc_version" = "$version" ] || { echo "dessec.pc says version $pc_version, not $version"; exit 1; }

echo "-- find_package(dessec)"
"$cmake" -S "$consumer" -B "$scratch/cmake-build" -G "$generator" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/consumer"

echo "-- pkg-config dessec"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" \
  -DDESSEC_EXPECTED_VERSION="\"$pc_version\"" \
  $("$pkg_config" --cflags --libs dessec) -Wl,-rpath,"$libdir" -o "$scratch/pc-consumer"
"$scratch/pc-consumer"

echo "installed library ($soname) $version works through find_package and pkg-config; the tool runs"
