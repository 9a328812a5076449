#!/usr/bin/env bash
# deps-prefix.sh PRESET: provisions what a cross preset's configure looks
# for, into a prefix whose path depends only on the preset:
# $DESSEC_DEPS/PRESET, by default ~/.cache/dessec/PRESET (cmake/deps-prefix.cmake
# finds it by the same rule). Run by scripts/setup.sh PRESET.
#   arm64, s390x, i386  Debian's packages of the target's OpenSSL, crypt and
#                       GoogleTest, unpacked: the sysroot
#   win32, win64        libcrypto and GoogleTest cross-built with mingw-w64
# The prefix's versions.txt, written last, lists the versions it was made
# from. When they are still the ones the machine's apt sources give, nothing
# is done; when newer ones came, the prefix is made again from them, with a
# warning that lists what changed. Other presets need no prefix.
set -euo pipefail
shopt -s inherit_errexit
preset=$1
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${DESSEC_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/dessec}/$preset

case $preset in
  arm64 | s390x | i386)
    debs=$("$root/scripts/apt-private.sh" debs "$preset")
    versions=$(for f in $debs; do dpkg-deb --show --showformat='${Package} ${Version} ${Architecture}\n' "$f"; done)
    ;;
  win32 | win64)
    triplet=x86_64-w64-mingw32 toolchain=$root/cmake/mingw-x86_64.cmake
    [ "$preset" = win32 ] && triplet=i686-w64-mingw32 toolchain=$root/cmake/mingw-i686.cmake
    built=$("$root/scripts/mingw-deps.sh" "$triplet" "$toolchain")
    # The cache folders' names carry the versions and the options.
    compiler=g++-mingw-w64-${triplet%%-*}-posix
    versions=$(for dir in $built; do basename "$dir"; done
               dpkg-query -W -f='${Package} ${Version}\n' "${compiler//_/-}")
    ;;
  *) exit 0 ;;
esac

if [ -f "$prefix/versions.txt" ]; then
  if [ "$(cat "$prefix/versions.txt")" = "$versions" ]; then
    echo "== $preset: dependencies ready in $prefix"
    exit 0
  fi
  echo "warning: $preset: the dependencies in $prefix change to other versions:" >&2
  diff <(cat "$prefix/versions.txt") <(echo "$versions") | sed -n 's/^</  was/p; s/^>/  now/p' >&2 || true
fi
echo "== $preset: provisioning $prefix" >&2
rm -rf "$prefix"
mkdir -p "$prefix"
case $preset in
  arm64 | s390x | i386)
    for f in $debs; do dpkg-deb -x "$f" "$prefix"; done
    # Links that name an absolute path (libcrypt.so) point into the sysroot.
    while IFS= read -r -d '' link; do
      ln -sfn "$prefix$(readlink "$link")" "$link"
    done < <(find "$prefix" -type l -lname '/*' -print0)
    ;;
  win32 | win64)
    for dir in $built; do cp -R "$dir"/. "$prefix"/; done
    ;;
esac
echo "$versions" >"$prefix/versions.txt"
