#!/usr/bin/env bash
# windows.sh DIR: cross-builds the whole project for 32-bit and 64-bit
# Windows in DIR/build-win32 and DIR/build-win64 and leaves in DIR the folders
# a Windows user unpacks, dessec-VERSION-win32 and dessec-VERSION-win64, and
# their zips. Installs what it needs (as root).
#
# libcrypto is cross-built as a static library from the source of the
# machine's own OpenSSL package and linked into dessec.dll, and GoogleTest is
# cross-built from Debian's copy of its source; both are cached outside the
# clone ($DESSEC_CACHE, default ~/.cache/dessec), keyed by version and
# target, so that later runs take seconds.
set -euo pipefail
shopt -s inherit_errexit
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "$1")
cache=${DESSEC_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dessec}
version=$(head -n 1 "$root/VERSION")
jobs=$(nproc)
# Per target: the mingw-w64 triplet, its CMake toolchain file, OpenSSL's
# name for it and llvm-dlltool's machine.
declare -A triplet=([win32]=i686-w64-mingw32 [win64]=x86_64-w64-mingw32)
declare -A toolchain=([win32]=mingw-i686.cmake [win64]=mingw-x86_64.cmake)
declare -A openssl_target=([win32]=mingw [win64]=mingw64)
declare -A dlltool_machine=([win32]=i386 [win64]=i386:x86-64)
declare -A openssl_prefix

"$root/scripts/install-missing.sh" cmake ninja-build make perl g++-mingw-w64-i686-posix \
  g++-mingw-w64-x86-64-posix googletest libcli11-dev llvm zip

# Fetches OpenSSL's source with deb-src entries made from the machine's own
# apt sources (same mirrors and suites), in a private list so that the
# machine's apt configuration stays as it is. Prints the tarball's path.
fetch_openssl_source() {
  local apt=$cache/apt
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/source"
  rm -f "$apt/parts/"*
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/parts/$(basename "$f")"
  done
  : >"$apt/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] && sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' "$f" >>"$apt/sources.list"
  done
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
                 -o "Dir::State::Lists=$apt/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
                 -o APT::Sandbox::User=root)
  # A source without deb-src entries fails the update but not the lookup.
  apt-get -qq "${options[@]}" update >&2 || echo "some deb-src indexes are missing" >&2
  # --tar-only: the security suite has answered 404 for the .dsc.
  local tarball
  tarball=$(cd "$apt" && apt-get "${options[@]}" source --print-uris --tar-only openssl 2>/dev/null \
    | sed -n "s/^'[^']*' \(openssl_[^ ]*\.orig\.tar\.[a-z0-9]*\) .*/\1/p" | head -n 1)
  [ -n "$tarball" ] || { echo "no source package openssl in the machine's apt sources" >&2; exit 1; }
  if [ ! -f "$apt/source/$tarball" ]; then
    rm -f "$apt/source/"openssl_*
    (cd "$apt/source" && apt-get -qq "${options[@]}" source --download-only --tar-only openssl >&2)
  fi
  echo "$apt/source/$tarball"
}

# Cross-builds a static libcrypto with only what the library and its tests
# call (DES, MD5, big numbers, the random generator), about 2 minutes a
# target against 5 for OpenSSL's default set, at low priority: the machine
# may be busy. dessec.dll takes in only the objects it needs. No
# openssl.cnf is read: the DLL serves other programs, which neither an
# OPENSSL_CONF of their environment nor a file at OpenSSL's default place
# (\usr\local\ssl on the current drive, which any user may create) should
# reconfigure.
# build_libcrypto ARCH: prints the prefix: lib/, include/, LICENSE.txt.
openssl_options=(no-shared no-tests no-module no-engine no-ssl no-tls no-dtls no-sock no-srtp no-ct no-ocsp
                 no-cms no-ts no-cmp no-srp no-psk no-comp no-aria no-bf no-camellia no-cast no-chacha
                 no-poly1305 no-idea no-md4 no-mdc2 no-rc2 no-rc4 no-rc5 no-rmd160 no-seed no-siphash no-siv
                 no-sm2 no-sm3 no-sm4 no-whirlpool no-blake2 no-scrypt no-ocb no-gost no-dsa no-dh no-ec
                 no-rfc3779 no-legacy no-autoload-config)
build_libcrypto() {
  local arch=$1 tarball
  tarball=$(fetch_openssl_source)
  local openssl_version options_key
  openssl_version=$(basename "$tarball" | sed 's/^openssl_\(.*\)\.orig\.tar\..*$/\1/')
  options_key=$(echo "${openssl_options[*]}" | md5sum | cut -c1-8)
  local prefix=$cache/openssl-$openssl_version-$arch-$options_key
  if [ ! -f "$prefix/LICENSE.txt" ]; then
    echo "== cross-building libcrypto $openssl_version for $arch (once; cached in $prefix)" >&2
    local work=$cache/openssl-build-$arch
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    tar -xf "$tarball" -C "$work" --strip-components=1
    if ! (cd "$work" \
          && ./Configure "${openssl_target[$arch]}" --cross-compile-prefix="${triplet[$arch]}-" \
               "${openssl_options[@]}" \
          && nice -n 10 make -j"$jobs" build_generated && nice -n 10 make -j"$jobs" libcrypto.a) \
         >"$work/build.log" 2>&1; then
      tail -n 30 "$work/build.log" >&2
      echo "libcrypto for $arch: the build failed, see $work/build.log" >&2
      exit 1
    fi
    mkdir -p "$prefix/lib" "$prefix/include/openssl"
    cp "$work/libcrypto.a" "$prefix/lib/"
    cp "$work/include/openssl/"*.h "$prefix/include/openssl/"
    cp "$work/LICENSE.txt" "$prefix/"
    rm -rf "$work"
  fi
  echo "$prefix"
}

# Cross-builds GoogleTest from the source Debian ships for this purpose.
# build_googletest ARCH: prints the prefix.
build_googletest() {
  local arch=$1 gtest_version
  gtest_version=$(dpkg-query -W -f='${Version}' googletest)
  local prefix=$cache/googletest-$gtest_version-$arch
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "== cross-building GoogleTest $gtest_version for $arch (once; cached in $prefix)" >&2
    local work=$cache/googletest-build-$arch
    rm -rf "$work" "$prefix"
    cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
    nice -n 10 cmake --build "$work" --parallel "$jobs" >/dev/null
    cmake --install "$work" >/dev/null
    rm -rf "$work"
  fi
  echo "$prefix"
}

# build_project ARCH: the library, the tool and the unit tests in
# DIR/build-ARCH. One folder for every program and DLL, so that each finds
# its DLLs beside it; the tests run under Wine through the emulator.
# libcrypto and GoogleTest are named outright, so that a new version's prefix
# replaces what the cache holds.
build_project() {
  local arch=$1 openssl gtest
  openssl=$(build_libcrypto "$arch")
  openssl_prefix[$arch]=$openssl
  gtest=$(build_googletest "$arch")
  echo "== cross-building the project for $arch in $dir/build-$arch"
  cmake -S "$root" -B "$dir/build-$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}" \
    -DCMAKE_FIND_ROOT_PATH="$openssl;$gtest" -DOPENSSL_INCLUDE_DIR="$openssl/include" \
    -DOPENSSL_USE_STATIC_LIBS=ON -DLIB_EAY="$openssl/lib/libcrypto.a" -DGTest_DIR="$gtest/lib/cmake/GTest" \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/build-$arch/bin" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF >/dev/null
  nice -n 10 cmake --build "$dir/build-$arch" --parallel "$jobs"
}

# distribute ARCH: the folder a Windows user unpacks, and its zip. Both
# binaries stand alone: libcrypto is inside dessec.dll, the library inside
# dessec.exe.
distribute() {
  local arch=$1 name=dessec-$version-$1 target=${triplet[$1]}
  local dist=$dir/$name build=$dir/build-$1
  echo "== distribution folder and zip in $dist"
  rm -rf "$dist" "$dir/$name.zip"
  mkdir -p "$dist/bin" "$dist/include" "$dist/lib"
  "$target-strip" -o "$dist/bin/dessec.dll" "$build/bin/dessec.dll"
  "$target-strip" -o "$dist/bin/dessec.exe" "$build/bin/dessec.exe"
  # libcrypto's license asks that its text go with every copy of its code.
  cp "${openssl_prefix[$arch]}/LICENSE.txt" "$dist/LICENSE-libcrypto.txt"
  sed 's/$/\r/' "$root/LICENSE" >"$dist/LICENSE.txt"
  cp "$root/include/dessec.h" "$dist/include/"
  sed 's/^LIBRARY dessec$/LIBRARY dessec.dll/' "$build/dessec.def" >"$dist/lib/dessec.def"
  cp "$build/libdessec.dll.a" "$dist/lib/"
  llvm-dlltool -m "${dlltool_machine[$arch]}" -d "$dist/lib/dessec.def" -l "$dist/lib/dessec.lib"
  local bits=${arch#win}
  sed "s/@VERSION@/$version/g; s/@BITS@/$bits/g; s/\$/\r/" "$root/cmake/mingw-i686/README.txt.in" \
    >"$dist/README.txt"
  (cd "$dir" && zip -q -r -X "$name.zip" "$name")
  echo "$dir/$name.zip: $(cd "$dist" && find . -type f | sort | sed 's|^\./||' | tr '\n' ' ')"
}

for arch in win32 win64; do
  build_project "$arch"
  distribute "$arch"
done
