#!/usr/bin/env bash
# check_dll.sh DLL: checks what a Windows caller sees of the cross-built
# dessec.dll (scripts/windows.sh builds it, with its symbol table): exactly
# the 13 exports, by name, ordinals 1 to 13 in the byte order of the names;
# our own DllMain behind the C runtime's entry point; no DLL needed beyond
# the system's and libcrypto.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dll=$1
target=i686-w64-mingw32
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
