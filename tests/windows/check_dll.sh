#!/usr/bin/env bash
# [OBJDUMP=.. NM=..] check_dll.sh DLL: checks what a Windows caller sees of a cross-built
# dessec.dll, 32-bit or 64-bit (as built, with its symbol table): exactly
# the 13 exports, by name, ordinals 1 to 13 in the byte order of the names; our own DllMain behind the C runtime's entry point; on
# 64-bit Windows, dh's carry-chain code.
# check_imports.sh checks the DLLs it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dll=$1 objdump=${OBJDUMP:-objdump} nm=${NM:-nm}
# 32-bit symbols carry a leading underscore, and __stdcall ones their
# argument bytes.
if "$objdump" -f "$dll" | grep -q 'file format pei-x86-64'; then
  target=x64 dll_main=DllMain startup=DllMainCRTStartup
else
  target=x86 dll_main=_DllMain@12 startup=_DllMainCRTStartup@12
fi
headers=$("$objdump" -p "$dll")
symbols=$("$objdump" -t "$dll")

status=0
fail() { echo "dessec.dll: $*"; status=1; }

# Expected: the exports with their ordinals, as the export list gives them.
expected=$(awk '{print $1, $2}' "$root/src/exports.txt" | LC_ALL=C sort)
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
  /\(sec +[1-9][0-9]*\)/ && /\(scl +2\)/ && $NF == dll_main {print file}' dll_main=$dll_main)
[ "$dllmain_file" = dll_main.cpp ] || fail "$dll_main comes from '${dllmain_file:-nowhere}', not dll_main.cpp"
entry=$(echo "$headers" | awk '/^AddressOfEntryPoint/ {e = $2} /^ImageBase/ {b = $2} END {print e, b}')
startup_address=$("$nm" "$dll" | awk '$3 == startup {print $1}' startup=$startup)
[ "$(printf '%0*x' ${#startup_address} $((16#${entry% *} + 16#${entry#* })))" = "$startup_address" ] \
  || fail "the entry point is not the C runtime's $startup"

# 64-bit: dh's carry-chain code is in, for processors with BMI2 and ADX.
if [ "$target" = x64 ]; then
  chains=$("$objdump" -d --no-show-raw-insn "$dll" \
    | grep -cE '^ +[0-9a-f]+:[[:space:]]+(adox|adcx|mulx) ' || true)
  [ "$chains" -gt 0 ] || fail "no mulx/adcx/adox instructions: dh's carry-chain code is missing"
fi

[ $status -eq 0 ] \
  && echo "dessec.dll ($target): 13 exports by name, ordinals 1-13 in name order; DllMain from dll_main.cpp"
exit $status
