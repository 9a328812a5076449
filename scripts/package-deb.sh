#!/usr/bin/env bash
# package-deb.sh DIR [cmake options...]: builds the library and the tool in
# Release for /usr into build-deb and leaves their Debian packages in DIR:
# libdessec0 (the library), libdessec-dev (header, dessec.pc, CMake package),
# dessec (the tool and its manual) and python3-dessec (the Python package).
# Every file name starts with "dessec", so that
# `apt-get install ./DIR/dessec*.deb` installs them all. The options
# go to CMake, e.g. -DDESSEC_DEB_MAINTAINER="Name <address>" for the
# packages' Maintainer field. As root on a fresh machine it first installs
# the compiler, CMake, OpenSSL's and CLI11's headers and dpkg-dev. The
# packages' time stamp is the commit's, or SOURCE_DATE_EPOCH when it is set.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: package-deb.sh DIR [cmake options...]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
shift
"$root/scripts/setup.sh" package
build=$root/build-deb
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi

# The same commit makes the same packages, byte for byte, wherever and
# whenever it is built: every time stamp in them is the commit's time (the
# changelog's date, and the files' times, which cpack clamps to
# SOURCE_DATE_EPOCH), the compilers write the source folder as ".", and the
# tool's RPATH in the build tree, which the installed tool keeps as a string,
# is relative to the tool ($ORIGIN).
# Outside a checkout (an unpacked release), VERSION's time stands in.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if ! SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null); then
    SOURCE_DATE_EPOCH=$(stat -c %Y "$root/VERSION")
    echo "package-deb.sh: not a git checkout: the packages' time is VERSION's (set SOURCE_DATE_EPOCH to choose)" >&2
  fi
fi
export SOURCE_DATE_EPOCH
prefix_map=-ffile-prefix-map=$root=.

# A system prefix: the library is found through ld.so's own paths, so the
# tool carries no RPATH.
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$prefix_map" -DCMAKE_CXX_FLAGS="$prefix_map" -DCMAKE_BUILD_RPATH_USE_ORIGIN=ON \
  -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF -DDESSEC_INSTALL_RPATH=OFF -DDESSEC_TOOL=ON "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$build/packages" >/dev/null)
mkdir -p "$out"
for deb in "$build"/packages/*.deb; do
  name=${deb##*/}
  [[ $name == dessec* ]] || name=dessec-$name
  cp "$deb" "$out/$name"
  echo "$out/$name"
done
