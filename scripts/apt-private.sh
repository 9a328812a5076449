#!/usr/bin/env bash
# apt-private.sh debs ARCH | openssl-source: Debian's packages from the
# machine's own apt sources (same mirrors and suites), through an apt state
# of their own under $DESSEC_CACHE (default ~/.cache/dessec), so that the
# machine's apt configuration and packages stay as they are. Run by the
# provisioning (scripts/setup.sh PRESET) alone, never by a build.
#   debs ARCH       the target's OpenSSL, crypt and GoogleTest packages for
#                   Debian's ARCH, downloaded when missing; prints their paths.
#   openssl-source  OpenSSL's source tarball; prints its path.
set -euo pipefail
shopt -s inherit_errexit
cache=${DESSEC_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dessec}
job=$1 arch=${2:-source}
apt=$cache/apt-$arch
mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/etc/parts" "$apt/debs"
touch "$apt/state/status"
options=(-o "Dir::State=$apt/state" -o "Dir::State::status=$apt/state/status" -o "Dir::Cache=$apt/cache"
         -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User=root -o Debug::NoLocking=1)
if [ "$job" = debs ]; then
  options+=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch")
else
  # deb-src entries made from the machine's deb entries.
  rm -f "$apt/etc/parts/"*
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/etc/parts/$(basename "$f")"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
    | sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' >"$apt/etc/sources.list" || true
  options+=(-o "Dir::Etc::SourceList=$apt/etc/sources.list" -o "Dir::Etc::SourceParts=$apt/etc/parts")
fi
# Lists younger than a day are good enough for a rerun. A source that lacks
# the architecture or deb-src entries fails the update but not the lookup.
if [ -z "$(find "$apt/state/lists" -maxdepth 1 \( -name '*_Packages*' -o -name '*_Sources*' \) -mmin -1440 | head -n 1)" ]; then
  apt-get -qq "${options[@]}" update >&2 || echo "some $arch package indexes are missing" >&2
fi

if [ "$job" = openssl-source ]; then
  # --tar-only: the security suite has answered 404 for the .dsc.
  tarball=$(cd "$apt" && apt-get "${options[@]}" source --print-uris --tar-only openssl 2>/dev/null \
    | sed -n "s/^'[^']*' \(openssl_[^ ]*\.orig\.tar\.[a-z0-9]*\) .*/\1/p" | head -n 1)
  [ -n "$tarball" ] || { echo "no source package openssl in the machine's apt sources" >&2; exit 1; }
  if [ ! -f "$apt/debs/$tarball" ]; then
    rm -f "$apt/debs/"openssl_*
    (cd "$apt/debs" && apt-get -qq "${options[@]}" source --download-only --tar-only openssl >&2)
  fi
  echo "$apt/debs/$tarball"
  exit 0
fi

# The target's libraries: the packages the build links and their runtime halves.
packages=(libssl3 libssl-dev libcrypt1 libcrypt-dev libgtest-dev)
files=$(apt-get "${options[@]}" --print-uris download "${packages[@]}" \
        | sed -n "s/^'[^']*' \([^ ]*\.deb\) .*/\1/p" | LC_ALL=C sort)
[ "$(echo "$files" | grep -c .)" -eq ${#packages[@]} ] \
  || { echo "not every one of ${packages[*]} found for $arch" >&2; exit 1; }
missing=()
for f in $files; do [ -f "$apt/debs/$f" ] || missing+=("${f%%_*}"); done
[ ${#missing[@]} -eq 0 ] || (cd "$apt/debs" && apt-get -qq "${options[@]}" download "${missing[@]}" >&2)
for f in $files; do echo "$apt/debs/$f"; done
