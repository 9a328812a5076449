#!/usr/bin/env bash
# check_dll.sh [DIR]: cross-builds the library as a 32-bit Windows DLL in DIR
# (default build-mingw) and checks what a Windows caller sees: exactly the 13
# exports, by name, ordinals 1 to 13 in the byte order of the names; our own
# DllMain behind the C runtime's entry point; no DLL needed beyond the
# system's and libcrypto.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(realpath -m "${1:-$root/build-mingw}")
target=i686-w64-mingw32
for tool in gcc-posix g++-posix dlltool objdump nm; do
  command -v "$target-$tool" >/dev/null || { echo "missing $target-$tool (scripts/setup.sh installs it)"; exit 1; }
done
echo "== 32-bit Windows DLL, cross-built with mingw-w64"

# libcrypto for the cross build: the build machine's OpenSSL headers in a
# private folder, with a configuration header for a 32-bit Windows target,
# and an import library of the few calls the library makes.
openssl=$dir/openssl
host_config=/usr/include/$(gcc -print-multiarch)/openssl
rm -rf "$openssl"
mkdir -p "$openssl/include/openssl"
cp /usr/include/openssl/*.h "$host_config/opensslconf.h" "$openssl/include/openssl/"
cp "$host_config/configuration.h" "$openssl/include/openssl/host-configuration.h"
cp "$root/cmake/mingw-i686/configuration.h" "$openssl/include/openssl/configuration.h"
"$target-dlltool" -d "$root/cmake/mingw-i686/libcrypto-3.def" -l "$openssl/libcrypto-3.dll.a"

# The structures the library hands to libcrypto must have a 32-bit
# libcrypto's layout, and the big-number word its size.
"$target-gcc-posix" -fsyntax-only -DOPENSSL_API_COMPAT=0x10100000L -I "$openssl/include" -x c - <<'C'
#include <openssl/bn.h>
#include <openssl/des.h>
#include <openssl/md5.h>
_Static_assert(sizeof(DES_key_schedule) == 128, "DES_key_schedule layout");
_Static_assert(sizeof(MD5_CTX) == 92, "MD5_CTX layout");
_Static_assert(BN_BYTES == 4, "32-bit big-number words");
C

cmake -S "$root" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF \
  -DOPENSSL_INCLUDE_DIR="$openssl/include" -DLIB_EAY="$openssl/libcrypto-3.dll.a" >/dev/null
cmake --build "$dir/build" --target dessec
dll=$dir/build/dessec.dll
headers=$("$target-objdump" -p "$dll")
symbols=$("$target-objdump" -t "$dll")

status=0
fail() { echo "dessec.dll: $*"; status=1; }

# Expected: the exports in byte order of their names, numbered from 1.
expected=$(LC_ALL=C sort "$root/tests/exports.txt" | awk '{print $1, NR}')
# objdump numbers the name pointers by their index into the export address
# table, which starts at 0: the ordinal is that index plus the ordinal base.
base=$(echo "$headers" | sed -n 's/^Ordinal Base[[:space:]]*//p')
slots=$(echo "$headers" | awk '/^Number in:/ {n = 1} n && /Export Address Table/ && !seen++ {print $NF}')
actual=$(echo "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\2 \1/p' | awk -v base="$base" '{print $1, $2 + base}')
[ "$(echo "$headers" | sed -n 's/^Name[[:space:]]*[0-9a-f]* //p')" = dessec.dll ] \
  || fail "the export table does not name dessec.dll"
[ "$base" = 1 ] || fail "ordinal base $base, not 1"
[ "$((16#$slots))" = "$(echo "$expected" | wc -l)" ] \
  || fail "$((16#$slots)) export slots: some export is missing, or exported by ordinal alone"
if [ "$actual" != "$expected" ]; then
  fail "export names and ordinals differ from the expected table:"
  diff <(echo "$expected") <(echo "$actual") || true
fi

# The symbol table groups each object's symbols after its .file entry, so it
# tells our DllMain from the C runtime's do-nothing default of the same name.
dllmain_file=$(echo "$symbols" | awk '/\(scl 103\)/ {file = $NF}
  /\(sec +[1-9][0-9]*\)/ && /\(scl +2\)/ && $NF == "_DllMain@12" {print file}')
[ "$dllmain_file" = dll_main.cpp ] || fail "_DllMain@12 comes from '${dllmain_file:-nowhere}', not dll_main.cpp"
entry=$(echo "$headers" | awk '/^AddressOfEntryPoint/ {e = $2} /^ImageBase/ {b = $2} END {print e, b}')
startup=$("$target-nm" "$dll" | awk '$3 == "_DllMainCRTStartup@12" {print $1}')
[ "$(printf '%08x' $((16#${entry% *} + 16#${entry#* })))" = "$startup" ] \
  || fail "the entry point is not the C runtime's _DllMainCRTStartup@12"

imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort)
unexpected=$(echo "$imports" | grep -vxiE 'kernel32\.dll|msvcrt\.dll|libcrypto-3\.dll' || true)
[ -z "$unexpected" ] || fail "needs DLLs beyond the system's and libcrypto: $(echo $unexpected)"

[ $status -eq 0 ] && echo "dessec.dll: 13 exports by name, ordinals 1-13 in name order; DllMain from dll_main.cpp; imports $(echo $imports)"
exit $status
