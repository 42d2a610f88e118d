#!/usr/bin/env bash
# A Windows program of ours runs from a bare folder: besides the system's own DLLs it imports none.
#   check_imports.sh OBJDUMP PROGRAM.exe...
set -euo pipefail
objdump=$1
shift
# The system's DLLs that every Windows since 7 has in System32.
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|oleacc|msvcrt|ws2_32|uxtheme|shlwapi|version|imm32|setupapi|bcrypt|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for program in "$@"; do
  mapfile -t dlls < <("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
  if ((${#dlls[@]} == 0)); then
    echo "FAIL $program: no import table found"
    status=1
    continue
  fi
  for dll in "${dlls[@]}"; do
    if [[ ! $dll =~ $system_dlls ]]; then
      echo "FAIL $(basename "$program") imports $dll, which is not a system DLL"
      status=1
    fi
  done
  echo "$(basename "$program") imports: ${dlls[*]}"
done
exit $status
