#!/usr/bin/env bash
# The program must be a PE32+ x86-64 executable that imports only DLLs every Windows has.
set -euo pipefail
export LC_ALL=C  # objdump speaks the locale's language otherwise
exe=$1
objdump_bin=x86_64-w64-mingw32-objdump
header=$($objdump_bin -f "$exe")
echo "$header" | grep -q 'file format pei-x86-64' || { echo "not PE32+ x86-64: $header"; exit 1; }
allowed='^(kernel32|user32|gdi32|shell32|shlwapi|comdlg32|comctl32|ole32|oleaut32|winmm|msvcrt|advapi32|ntdll|ws2_32|uxtheme|imm32|version|gdiplus)\.dll$'
status=0
for dll in $($objdump_bin -p "$exe" | awk '/DLL Name:/ {print tolower($3)}'); do
  if [[ $dll =~ $allowed ]]; then echo "ok: $dll"; else echo "not a system DLL: $dll"; status=1; fi
done
exit $status
