#!/usr/bin/env bash
# check_deb.sh DEB_DIR VERSION: as root, checks the Debian packages in
# DEB_DIR with lintian (no error, and no warning that an override does not
# explain), installs them with apt-get and uses them as a user would: the
# tool from the PATH, its manual, the library's manual for each export, a C
# program built with pkg-config alone and one with the CMake package, and the
# Python package from python3; then
# purges them and checks that every file they installed is gone.
set -euo pipefail
debs=$(realpath "$1")
version=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
consumer=$root/tests/package/consumer
packages=(libdessec0 libdessec-dev dessec python3-dessec)
[ "$(id -u)" -eq 0 ] || { echo "check_deb.sh installs packages: run it as root"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export DEBIAN_FRONTEND=noninteractive
status=0
fail() { echo "packages: $*"; status=1; }

command -v lintian >/dev/null || "$root/scripts/install-missing.sh" lintian
# Root is what installs the packages below; lintian only warns of it.
lintian --fail-on error,warning "$debs"/*.deb 2> >(grep -v 'running with root privileges' >&2) \
  || fail "lintian finds errors or warnings in the packages"

apt-get install -y -qq "$debs"/*.deb >/dev/null
installed=$(dpkg -L "${packages[@]}" | sort -u)

# Each package states the licence of LICENSE in its copyright file.
holder=$(sed -n 's/^Copyright (c) //p' "$root/LICENSE")
for p in "${packages[@]}"; do
  grep -qxF "Copyright: $holder" "/usr/share/doc/$p/copyright" && grep -qx 'License: Expat' "/usr/share/doc/$p/copyright" \
    || fail "$p has no copyright file stating the licence in LICENSE"
done

# The library's symbols file, the project's changelog and security policy.
[ "$(dpkg-deb -I "$debs"/*libdessec0_*.deb symbols)" = "$(cat "$root/abi/libdessec0.symbols")" ] \
  || fail "libdessec0 does not carry abi/libdessec0.symbols as its symbols file"
for p in "${packages[@]}"; do
  [ -f "/usr/share/doc/$p/changelog.gz" ] && [ -f "/usr/share/doc/$p/SECURITY.md" ] \
    || fail "$p has no changelog.gz and SECURITY.md in /usr/share/doc/$p"
done

[ "$(command -v dessec)" = /usr/bin/dessec ] || fail "dessec is not /usr/bin/dessec on the PATH"
[ "$(dessec --version)" = "dessec $version" ] || fail "dessec --version says '$(dessec --version)'"
[ "$(man -w dessec)" = /usr/share/man/man1/dessec.1.gz ] || fail "man -w dessec finds '$(man -w dessec)'"
MANPAGER=cat MANWIDTH=80 man dessec 2>/dev/null | grep -q '^COMMANDS' || fail "man dessec shows no COMMANDS section"
# Every export has its page in section 3, under the library's suffix (the C
# library's manual may hold pages of the same names in plain section 3).
# man names the page that a link leads to.
for name in dessec $(awk '{print $1}' "$root/src/exports.txt"); do
  want=$(realpath -e "/usr/share/man/man3/$name.3dessec.gz" 2>/dev/null || echo "no $name.3dessec.gz")
  page=$(man -w 3dessec "$name" 2>/dev/null || true)
  [ "$page" = "$want" ] || fail "man -w 3dessec $name finds '$page', not $want"
  all=$(man -aw 3 "$name" 2>/dev/null || true)
  grep -qxF "$want" <<<"$all" || fail "man -aw 3 $name does not list $want"
  MANPAGER=cat MANWIDTH=80 man 3dessec "$name" 2>/dev/null | grep -q "^SYNOPSIS" \
    || fail "man 3dessec $name shows no SYNOPSIS"
done

# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" -DDESSEC_EXPECTED_VERSION="\"$version\"" \
  $(pkg-config --cflags --libs dessec) -o "$scratch/pc-consumer" && "$scratch/pc-consumer" \
  || fail "a program built with pkg-config alone does not build or run"
cmake -S "$consumer" -B "$scratch/cmake-build" >/dev/null && cmake --build "$scratch/cmake-build" >/dev/null \
  && "$scratch/cmake-build/consumer" || fail "a program built with find_package(dessec) does not build or run"

# The Python package with Debian's own interpreter. The byte code made on
# installation must go with it on purge, or its folder stays.
[ "$(cd / && /usr/bin/python3 -c "import dessec; print(dessec.crypt('hunter2', 'ab'))")" = ab0ozUNIgzCZ. ] \
  || fail "python3 -c \"import dessec; print(dessec.crypt('hunter2', 'ab'))\" does not print ab0ozUNIgzCZ."
[ "$(cd / && /usr/bin/python3 -c 'import dessec; print(dessec.__file__)')" = /usr/lib/python3/dist-packages/dessec/__init__.py ] \
  || fail "python3 does not import dessec from /usr/lib/python3/dist-packages"
# Its metadata is what the Python build makes of pyproject.toml.
(cd / && /usr/bin/python3 - "$root/python/pyproject.toml" "$version" <<'EOF'
import importlib.metadata, sys, tomllib
project = tomllib.load(open(sys.argv[1], "rb"))["project"]
metadata = importlib.metadata.metadata("dessec")
sys.exit(metadata["Version"] != sys.argv[2] or metadata["Summary"] != project["description"]
         or metadata["Requires-Python"] != project["requires-python"])
EOF
) || fail "python3-dessec's metadata is not the one pyproject.toml makes"

apt-get purge -y -qq "${packages[@]}" >/dev/null
for p in "${packages[@]}"; do
  # Second letter of the state: n, not installed and no configuration left.
  state=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [ -z "$state" ] || [ "${state:1:1}" = n ] || fail "$p is in state '$state' after purge"
done
left=$(while read -r path; do
  # Directories that other packages share (/usr/lib, share/man/man1) stay.
  if [ -L "$path" ] || [ -f "$path" ] || { [ -d "$path" ] && [[ $path == *dessec* ]]; }; then echo "$path"; fi
done <<<"$installed")
[ -z "$left" ] || fail "purge left $(echo $left)"

[ $status -eq 0 ] && echo "packages $(cd "$debs" && echo *.deb) pass lintian, install, work from the PATH, with pkg-config, find_package, man and python3, and purge cleanly"
exit $status
