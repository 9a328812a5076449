#!/usr/bin/env bash
# mingw-deps.sh TRIPLET TOOLCHAIN: the static libcrypto that dessec.dll takes
# in and the GoogleTest of the unit tests, cross-built for the mingw-w64
# TRIPLET once and cached under $DESSEC_CACHE (default ~/.cache/dessec),
# keyed by version, target and options; prints their two prefixes. Run by
# the provisioning (scripts/setup.sh win32|win64), never by a build.
#
# libcrypto is built from the source of the machine's own OpenSSL package
# with only what the library and its tests call (DES, MD5, big numbers, the
# random generator), at low priority. No openssl.cnf is read: the DLL serves
# other programs, which neither an OPENSSL_CONF of their environment nor a
# file at OpenSSL's default place (\usr\local\ssl on the current drive, which
# any user may create) should reconfigure. no-pinshared: libcrypto does not
# pin the DLL it is linked into, so FreeLibrary unloads dessec.dll.
set -euo pipefail
shopt -s inherit_errexit
triplet=$1 toolchain=$2
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${DESSEC_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dessec}
target=mingw64
[ "${triplet%%-*}" = i686 ] && target=mingw
options=(no-shared no-pinshared no-tests no-module no-engine no-ssl no-tls no-dtls no-sock no-srtp no-ct no-ocsp
         no-cms no-ts no-cmp no-srp no-psk no-comp no-aria no-bf no-camellia no-cast no-chacha no-poly1305
         no-idea no-md4 no-mdc2 no-rc2 no-rc4 no-rc5 no-rmd160 no-seed no-siphash no-siv no-sm2 no-sm3 no-sm4
         no-whirlpool no-blake2 no-scrypt no-ocb no-gost no-dsa no-dh no-ec no-rfc3779 no-legacy
         no-autoload-config)

tarball=$("$root/scripts/apt-private.sh" openssl-source)
version=$(basename "$tarball" | sed 's/^openssl_\(.*\)\.orig\.tar\..*$/\1/')
openssl=$cache/openssl-$version-$triplet-$(echo "${options[*]}" | md5sum | cut -c1-8)
if [ ! -f "$openssl/LICENSE.txt" ]; then
  echo "== cross-building libcrypto $version for $triplet (once; cached in $openssl)" >&2
  work=$cache/openssl-build-$triplet
  rm -rf "$work" "$openssl"
  mkdir -p "$work"
  tar -xf "$tarball" -C "$work" --strip-components=1
  if ! (cd "$work" && ./Configure "$target" --cross-compile-prefix="$triplet-" "${options[@]}" \
        && nice -n 10 make -j"$(nproc)" build_generated && nice -n 10 make -j"$(nproc)" libcrypto.a) \
       >"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log" >&2
    echo "libcrypto for $triplet: the build failed, see $work/build.log" >&2
    exit 1
  fi
  mkdir -p "$openssl/lib" "$openssl/include/openssl"
  cp "$work/libcrypto.a" "$openssl/lib/"
  cp "$work/include/openssl/"*.h "$openssl/include/openssl/"
  cp "$work/LICENSE.txt" "$openssl/"
  rm -rf "$work"
fi

# GoogleTest from the source Debian ships for this purpose.
gtest=$cache/googletest-$(dpkg-query -W -f='${Version}' googletest)-$triplet
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "== cross-building GoogleTest for $triplet (once; cached in $gtest)" >&2
  work=$cache/googletest-build-$triplet
  rm -rf "$work" "$gtest"
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  nice -n 10 cmake --build "$work" --parallel "$(nproc)" >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
fi
echo "$openssl"
echo "$gtest"
