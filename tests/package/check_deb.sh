#!/usr/bin/env bash
# check_deb.sh DEB_DIR VERSION: as root, installs the Debian packages in
# DEB_DIR with apt-get and uses them as a user would: the tool from the PATH,
# its manual, a C program built with pkg-config alone and one with the CMake
# package; then purges them and checks that every file they installed is gone.
set -euo pipefail
debs=$(realpath "$1")
version=$2
consumer=$(cd "$(dirname "$0")/consumer" && pwd)
packages=(libdessec0 libdessec-dev dessec)
[ "$(id -u)" -eq 0 ] || { echo "check_deb.sh installs packages: run it as root"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export DEBIAN_FRONTEND=noninteractive
status=0
fail() { echo "packages: $*"; status=1; }

apt-get install -y -qq "$debs"/dessec*.deb >/dev/null
installed=$(dpkg -L "${packages[@]}" | sort -u)

[ "$(command -v dessec)" = /usr/bin/dessec ] || fail "dessec is not /usr/bin/dessec on the PATH"
[ "$(dessec --version)" = "dessec $version" ] || fail "dessec --version says '$(dessec --version)'"
[ "$(man -w dessec)" = /usr/share/man/man1/dessec.1 ] || fail "man -w dessec finds '$(man -w dessec)'"
MANPAGER=cat MANWIDTH=80 man dessec 2>/dev/null | grep -q '^COMMANDS' || fail "man dessec shows no COMMANDS section"

# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$consumer/consumer.c" -DDESSEC_EXPECTED_VERSION="\"$version\"" \
  $(pkg-config --cflags --libs dessec) -o "$scratch/pc-consumer" && "$scratch/pc-consumer" \
  || fail "a program built with pkg-config alone does not build or run"
cmake -S "$consumer" -B "$scratch/cmake-build" >/dev/null && cmake --build "$scratch/cmake-build" >/dev/null \
  && "$scratch/cmake-build/consumer" || fail "a program built with find_package(dessec) does not build or run"

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

[ $status -eq 0 ] && echo "packages $(cd "$debs" && echo *.deb) install, work from the PATH, with pkg-config, find_package and man, and purge cleanly"
exit $status
