#!/usr/bin/env bash
# [OBJDUMP=..] check_imports.sh FILE...: checks that each Windows binary (DLL or program,
# 32-bit or 64-bit) imports only DLLs that come with Windows, so that it runs
# from a folder of its own: no libcrypto, libstdc++, libgcc or winpthread
# DLL beside it; and that none asks for a Windows newer than Vista.
set -euo pipefail
system_dlls='kernel32|msvcrt|advapi32|bcrypt|user32|ws2_32|crypt32|ntdll'
status=0
for file in "$@"; do
  headers=$("${OBJDUMP:-objdump}" -p "$file")
  imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | uniq)
  # Windows refuses a program that asks for a newer system than it is;
  # Vista is 6.0.
  subsystem=$(echo "$headers" | awk '/^MajorSubsystemVersion/ {major = $2} /^MinorSubsystemVersion/ {minor = $2}
    END {print major * 100 + minor}')
  if [ "$subsystem" -gt 600 ]; then
    echo "$(basename "$file"): asks for subsystem version $subsystem, newer than Vista's 6.0"
    status=1
  fi
  unexpected=$(echo "$imports" | grep -vxiE "($system_dlls)\.dll" || true)
  if [ -n "$unexpected" ]; then
    echo "$(basename "$file"): imports DLLs that do not come with Windows: $(echo $unexpected)"
    status=1
  else
    echo "$(basename "$file"): imports only $(echo $imports)"
  fi
done
exit $status
