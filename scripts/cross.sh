#!/usr/bin/env bash
# cross.sh ARCH DIR: cross-builds the library, the tool and the tests for
# another Debian architecture (arm64, s390x or i386) in DIR/build with
# warnings as errors, and runs them under qemu's user-mode emulation.
# Installs what it needs (as root): the cross compiler and qemu-user on the
# machine; the target's OpenSSL, crypt and GoogleTest as Debian's packages
# unpacked into DIR/sysroot, fetched through a private apt state made from
# the machine's own apt sources, so that the machine's packages stay as they
# are. A later run reuses the packages and the build.
set -euo pipefail
shopt -s inherit_errexit
[ $# -eq 2 ] || { echo "usage: $0 arm64|s390x|i386 DIR" >&2; exit 2; }
arch=$1
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "$2")
jobs=$(nproc)
case $arch in
  arm64) triplet=aarch64-linux-gnu multiarch=aarch64-linux-gnu qemu=qemu-aarch64 ;;
  s390x) triplet=s390x-linux-gnu multiarch=s390x-linux-gnu qemu=qemu-s390x ;;
  i386) triplet=i686-linux-gnu multiarch=i386-linux-gnu qemu=qemu-i386 ;;
  *) echo "$0: ARCH is arm64, s390x or i386, not '$arch'" >&2; exit 2 ;;
esac

"$root/scripts/install-missing.sh" cmake ninja-build "g++-$triplet" qemu-user libcli11-dev python3 \
  pkg-config binutils

# The target's libraries: the packages the build links and their runtime halves.
target_packages=(libssl3 libssl-dev libcrypt1 libcrypt-dev libgtest-dev)

# Debian's packages for ARCH from the machine's apt sources (same mirrors and
# suites), with lists, cache and an empty package status of their own.
apt=$dir/apt
apt_options=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
             -o "Dir::State=$apt/state" -o "Dir::State::status=$apt/state/status"
             -o "Dir::Cache=$apt/cache" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
             -o APT::Sandbox::User=root -o Debug::NoLocking=1)

update_package_lists() {
  mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/debs"
  touch "$apt/state/status"
  # Lists younger than a day are good enough for a rerun.
  if [ -z "$(find "$apt/state/lists" -maxdepth 1 -name '*_Packages*' -mmin -1440 -print -quit)" ]; then
    echo "== $arch package lists from the machine's apt sources"
    # A source that lacks the architecture fails the update but not the lookup.
    apt-get -qq "${apt_options[@]}" update || echo "some $arch package indexes are missing" >&2
  fi
}

# Prints the file names of the target's packages at their current versions,
# downloading those not fetched yet.
fetch_packages() {
  local files
  files=$(apt-get "${apt_options[@]}" --print-uris download "${target_packages[@]}" \
          | sed -n "s/^'[^']*' \([^ ]*\.deb\) .*/\1/p" | LC_ALL=C sort)
  [ "$(echo "$files" | grep -c .)" -eq ${#target_packages[@]} ] \
    || { echo "not every one of ${target_packages[*]} found for $arch" >&2; exit 1; }
  local missing=()
  local f
  for f in $files; do
    [ -f "$apt/debs/$f" ] || missing+=("${f%%_*}")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    (cd "$apt/debs" && apt-get -qq "${apt_options[@]}" download "${missing[@]}" >&2)
  fi
  echo "$files"
}

# Unpacks the packages into DIR/sysroot, again only when their versions change.
make_sysroot() {
  local files=$1
  local sysroot=$dir/sysroot
  if [ "$(cat "$sysroot/.packages" 2>/dev/null)" != "$files" ]; then
    echo "== unpacking $(echo $files) into $sysroot"
    rm -rf "$sysroot"
    mkdir -p "$sysroot"
    local f
    for f in $files; do
      dpkg-deb -x "$apt/debs/$f" "$sysroot"
    done
    # Links that name an absolute path (libcrypt.so) point into the sysroot.
    local link
    while IFS= read -r -d '' link; do
      ln -sfn "$sysroot$(readlink "$link")" "$link"
    done < <(find "$sysroot" -type l -lname '/*' -print0)
    echo "$files" >"$sysroot/.packages"
  fi
}

update_package_lists
make_sysroot "$(fetch_packages)"

echo "== cross-building for $arch in $dir/build"
# Release, as the native normal build, so that the same optimisations meet
# the same warnings.
cmake -S "$root" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/debian-cross.cmake" \
  -DDESSEC_CROSS_ARCH="$arch" -DDESSEC_CROSS_SYSROOT="$dir/sysroot" -DCMAKE_BUILD_TYPE=Release \
  -DDESSEC_WERROR=ON -DDESSEC_TESTS=ON -DDESSEC_TOOL=ON -DDESSEC_BENCH=OFF >/dev/null
cmake --build "$dir/build" --parallel "$jobs"

echo "== running the tests under $qemu"
# Left out under the emulator:
#  memcheck, ctgrind: valgrind runs only programs of the machine's own
#    architecture (the constant-time checks are memcheck runs too);
#  package: it installs the build and runs the installed tool and consumers
#    directly, which needs the kernel to hand foreign programs to qemu
#    (binfmt_misc), often missing in containers.
excluded='^(memcheck|ctgrind|package)$'
ctest --test-dir "$dir/build" --output-on-failure -j "$jobs" -LE "$excluded" --no-tests=error \
  | tee "$dir/ctest.log"
count=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$dir/ctest.log")
echo "$arch: library, tool and $count tests built with -Werror and passed under $qemu"
