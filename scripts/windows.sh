#!/usr/bin/env bash
# windows.sh DIR: cross-builds the whole project for 32-bit Windows in
# DIR/build and leaves in DIR the folder a Windows user unpacks,
# dessec-VERSION-win32, and its zip. Installs what it needs (as root).
#
# libcrypto-3.dll is cross-built from the source of the machine's own OpenSSL
# package, and GoogleTest from Debian's copy of its source; both are cached
# outside the clone ($DESSEC_CACHE, default ~/.cache/dessec), keyed by
# version, so that later runs take seconds.
set -euo pipefail
shopt -s inherit_errexit
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "$1")
cache=${DESSEC_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dessec}
target=i686-w64-mingw32
version=$(head -n 1 "$root/VERSION")
jobs=$(nproc)

"$root/scripts/install-missing.sh" cmake ninja-build make perl g++-mingw-w64-i686-posix googletest libcli11-dev llvm zip

# exports DLL: the names in its export table, one a line.
exports() {
  "$target-objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'
}

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

# Cross-builds libcrypto-3.dll with only what the library and its tests call
# (DES, MD5, big numbers, the random generator): about 2 minutes, against 5
# for OpenSSL's default set. Prints the prefix: bin/, lib/, include/.
openssl_options=(no-tests no-module no-engine no-ssl no-tls no-dtls no-sock no-srtp no-ct no-ocsp no-cms no-ts
                 no-cmp no-srp no-psk no-comp no-aria no-bf no-camellia no-cast no-chacha no-poly1305 no-idea
                 no-md4 no-mdc2 no-rc2 no-rc4 no-rc5 no-rmd160 no-seed no-siphash no-siv no-sm2 no-sm3 no-sm4
                 no-whirlpool no-blake2 no-scrypt no-ocb no-gost no-dsa no-dh no-ec no-rfc3779 no-legacy)
build_libcrypto() {
  local tarball
  tarball=$(fetch_openssl_source)
  local openssl_version options_key
  openssl_version=$(basename "$tarball" | sed 's/^openssl_\(.*\)\.orig\.tar\..*$/\1/')
  options_key=$(echo "${openssl_options[*]}" | md5sum | cut -c1-8)
  local prefix=$cache/openssl-$openssl_version-win32-$options_key
  if [ ! -f "$prefix/LICENSE.txt" ]; then
    echo "== cross-building libcrypto-3.dll $openssl_version (once; cached in $prefix)" >&2
    local work=$cache/openssl-build
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    tar -xf "$tarball" -C "$work" --strip-components=1
    if ! (cd "$work" \
          && ./Configure mingw shared --cross-compile-prefix=$target- "${openssl_options[@]}" \
          && make -j"$jobs" build_generated && make -j"$jobs" libcrypto.dll.a) >"$work/build.log" 2>&1; then
      tail -n 30 "$work/build.log" >&2
      echo "libcrypto-3.dll: the build failed, see $work/build.log" >&2
      exit 1
    fi
    mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include/openssl"
    "$target-strip" -o "$prefix/bin/libcrypto-3.dll" "$work/libcrypto-3.dll"
    cp "$work/libcrypto.dll.a" "$prefix/lib/"
    cp "$work/include/openssl/"*.h "$prefix/include/openssl/"
    cp "$work/LICENSE.txt" "$prefix/"
    rm -rf "$work"
  fi
  # Every libcrypto call the library makes must be there.
  local missing
  missing=$(comm -23 <(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' \
                         "$root/cmake/mingw-i686/libcrypto-3.def" | LC_ALL=C sort) \
                     <(exports "$prefix/bin/libcrypto-3.dll" | LC_ALL=C sort))
  [ -z "$missing" ] || { echo "libcrypto-3.dll lacks: $(echo $missing)" >&2; exit 1; }
  echo "$prefix"
}

# Cross-builds GoogleTest from the source Debian ships for this purpose.
# Prints the prefix.
build_googletest() {
  local gtest_version
  gtest_version=$(dpkg-query -W -f='${Version}' googletest)
  local prefix=$cache/googletest-$gtest_version-win32
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "== cross-building GoogleTest $gtest_version (once; cached in $prefix)" >&2
    local work=$cache/googletest-build
    rm -rf "$work" "$prefix"
    cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
    cmake --build "$work" --parallel "$jobs" >/dev/null
    cmake --install "$work" >/dev/null
    rm -rf "$work"
  fi
  echo "$prefix"
}

openssl=$(build_libcrypto)
gtest=$(build_googletest)

echo "== cross-building the project for 32-bit Windows in $dir/build"
# One folder for every program and DLL, so that each finds its DLLs beside it;
# the tests run under Wine through the emulator. libcrypto and GoogleTest are
# named outright, so that a new version's prefix replaces what the cache holds.
cmake -S "$root" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_FIND_ROOT_PATH="$openssl;$gtest" -DOPENSSL_INCLUDE_DIR="$openssl/include" \
  -DLIB_EAY="$openssl/lib/libcrypto.dll.a" -DGTest_DIR="$gtest/lib/cmake/GTest" \
  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/build/bin" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
  -DDESSEC_TESTS=ON -DDESSEC_BENCH=OFF >/dev/null
cmake --build "$dir/build" --parallel "$jobs"
cp "$openssl/bin/libcrypto-3.dll" "$dir/build/bin/"

echo "== distribution folder and zip in $dir"
name=dessec-$version-win32
dist=$dir/$name
rm -rf "$dist" "$dir/$name.zip"
mkdir -p "$dist/bin" "$dist/include" "$dist/lib"
"$target-strip" -o "$dist/bin/dessec.dll" "$dir/build/bin/dessec.dll"
"$target-strip" -o "$dist/bin/dessec.exe" "$dir/build/bin/dessec.exe"
cp "$openssl/bin/libcrypto-3.dll" "$dist/bin/"
# libcrypto's license asks that its text go with every copy.
cp "$openssl/LICENSE.txt" "$dist/LICENSE-libcrypto.txt"
cp "$root/include/dessec.h" "$dist/include/"
sed 's/^LIBRARY dessec$/LIBRARY dessec.dll/' "$root/src/dessec.def" >"$dist/lib/dessec.def"
cp "$dir/build/libdessec.dll.a" "$dist/lib/"
llvm-dlltool -m i386 -d "$dist/lib/dessec.def" -l "$dist/lib/dessec.lib"
sed "s/@VERSION@/$version/; s/\$/\r/" "$root/cmake/mingw-i686/README.txt.in" >"$dist/README.txt"
(cd "$dir" && zip -q -r -X "$name.zip" "$name")
echo "$dir/$name.zip: $(cd "$dist" && find . -type f | sort | sed 's|^\./||' | tr '\n' ' ')"
