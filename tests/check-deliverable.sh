#!/bin/sh
# Checks the deliverable setup.exe: a 32-bit Windows GUI program whose import
# table names only DLLs that Windows ships, with its exploit mitigations set
# (check-pe.sh). Prints its size and imports.
set -eu
exe=$1/setup.exe
[ -f "$exe" ] || { echo "missing $exe"; exit 1; }
objdump=i686-w64-mingw32-objdump
$objdump -f "$exe" | grep -q "file format pei-i386" || { echo "not a 32-bit PE: $exe"; exit 1; }
$objdump -p "$exe" | grep -q "Subsystem.*0*2.*(Windows GUI)" || { echo "not a GUI program"; exit 1; }
imports=$($objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "setup.exe: $(stat -c %s "$exe") bytes; imports: $(echo $imports)"
for dll in $imports; do
    case $dll in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | oleaut32.dll | msvcrt.dll | comctl32.dll) ;;
    *) echo "imports a DLL that Windows does not ship: $dll"; exit 1 ;;
    esac
done
sh "$(dirname "$0")/check-pe.sh" "$exe"
