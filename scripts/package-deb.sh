#!/usr/bin/env bash
# package-deb.sh DIR [cmake options...]: builds the library and the tool in
# Release for /usr with the deb preset (into build-deb) and leaves their
# Debian packages in DIR: libdessec0 (the library), libdessec-dev (header,
# dessec.pc, CMake package, the section 3 manual), dessec (the tool and its
# manual) and python3-dessec (the Python package), so that
# `apt-get install ./DIR/*.deb` installs them all. The options go to CMake,
# e.g. -DDESSEC_DEB_MAINTAINER="Name <address>" for the packages' Maintainer
# field. As root on a fresh machine it first installs the compiler, CMake,
# OpenSSL's and CLI11's headers and dpkg-dev.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: package-deb.sh DIR [cmake options...]" >&2; exit 2; }
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
shift
scripts/setup.sh package
rm -rf build-deb/packages
cmake --preset deb "$@" >/dev/null
cmake --build --preset deb
cpack --preset deb >/dev/null
mkdir -p "$out"
cp build-deb/packages/*.deb "$out/"
ls "$out"/*.deb
