#!/usr/bin/env bash
# package-deb.sh DIR [cmake options...]: builds the library and the tool in
# Release for /usr into build-deb and leaves their Debian packages in DIR:
# libdessec0 (the library), libdessec-dev (header, dessec.pc, CMake package),
# dessec (the tool and its manual) and python3-dessec (the Python package).
# Every file name starts with "dessec", so that
# `apt-get install ./DIR/dessec*.deb` installs them all. The options
# go to CMake, e.g. -DDESSEC_DEB_MAINTAINER="Name <address>" for the
# packages' Maintainer field. As root on a fresh machine it first installs
# the compiler, CMake, OpenSSL's and CLI11's headers and dpkg-dev.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: package-deb.sh DIR [cmake options...]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
shift
"$root/scripts/setup.sh" package
build=$root/build-deb
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi

# A system prefix: the library is found through ld.so's own paths, so the
# tool carries no RPATH.
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
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
