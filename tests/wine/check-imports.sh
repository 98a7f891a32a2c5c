#!/usr/bin/env bash
# Fails unless every DLL the program imports is one that every Windows installation has.
#   check-imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=${1:?usage: check-imports.sh OBJDUMP PROGRAM}
program=${2:?usage: check-imports.sh OBJDUMP PROGRAM}

system_dlls='^(kernel32|user32|gdi32|oleaut32|ole32|advapi32|msvcrt|comctl32|shell32|version|ucrtbase|api-ms-win-.*)\.dll$'

imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if ! grep -qx 'kernel32.dll' <<<"$imports"; then
  echo "no import table found in $program" >&2
  exit 1
fi
foreign=$(grep -Ev "$system_dlls" <<<"$imports" || true)
echo "imports:" $imports
if [ -n "$foreign" ]; then
  echo "imports DLLs that are not part of Windows:" $foreign >&2
  exit 1
fi
