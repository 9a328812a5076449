#!/usr/bin/env bash
# check_subproject.sh SOURCE_DIR CMAKE CPACK GENERATOR CC CXX VERSION
# Builds the parent project in parent/, which takes dessec in through
# add_subdirectory, runs its C consumer against the library built beside it,
# then installs and packages the parent: its install tree and its package
# must hold the parent's program alone, and its CPack settings stay its own.
set -euo pipefail
source_dir=$1
cmake=$2
cpack=$3
generator=$4
cc=$5
cxx=$6
version=$7
parent=$(cd "$(dirname "$0")/parent" && pwd)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build=$scratch/build
status=0
fail() { echo "parent project: $*"; status=1; }

"$cmake" -S "$parent" -B "$build" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DDESSEC_SOURCE_DIR="$source_dir" -DDESSEC_EXPECTED_VERSION="$version" >/dev/null
"$cmake" --build "$build" >/dev/null
"$build/consumer" || fail "the consumer does not run against the library built beside it"

"$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null
installed=$(cd "$scratch/prefix" && find . ! -type d | sort)
[ "$installed" = ./bin/consumer ] || fail "its install tree holds more than bin/consumer: $(echo $installed)"

grep -qx 'set(CPACK_PACKAGE_NAME "parent")' "$build/CPackConfig.cmake" \
  || fail "CPackConfig.cmake does not name the parent's package"
! grep -q 'CPACK_COMPONENTS_ALL\|CPACK_DEBIAN_' "$build/CPackConfig.cmake" \
  || fail "CPackConfig.cmake carries dessec's package settings"
(cd "$build" && "$cpack" -B "$scratch/packages" >/dev/null)
packaged=$(tar -tzf "$scratch"/packages/parent-*.tar.gz | grep -v '/$' | sed 's|^[^/]*/||' | sort)
[ "$packaged" = bin/consumer ] || fail "its package holds more than bin/consumer: $(echo $packaged)"

[ $status -eq 0 ] && echo "a parent project builds and runs against dessec through add_subdirectory; its install and package hold its own program alone"
exit $status
