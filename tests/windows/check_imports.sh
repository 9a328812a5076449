#!/usr/bin/env bash
# check_imports.sh FILE...: checks that each Windows binary (DLL or program,
# 32-bit or 64-bit) imports only DLLs that come with Windows, so that it runs
# from a folder of its own: no libcrypto, libstdc++, libgcc or winpthread
# DLL beside it.
set -euo pipefail
system_dlls='kernel32|msvcrt|advapi32|bcrypt|user32|ws2_32|crypt32|ntdll'
status=0
for file in "$@"; do
  imports=$(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | uniq)
  unexpected=$(echo "$imports" | grep -vxiE "($system_dlls)\.dll" || true)
  if [ -n "$unexpected" ]; then
    echo "$(basename "$file"): imports DLLs that do not come with Windows: $(echo $unexpected)"
    status=1
  else
    echo "$(basename "$file"): imports only $(echo $imports)"
  fi
done
exit $status
