#!/bin/sh
# Figure 1: the size of the deliverable against its budget, its imports, and
# what each part of it costs in bytes (from the map file of its link).
# Usage: size.sh SETUP_EXE SETUP_MAP MINIMAL_EXE
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
map=$2
minimal=$3
budget=32768
objdump=i686-w64-mingw32-objdump

size=$(stat -c %s "$exe")
if [ "$size" -le "$budget" ]; then
    verdict="within the budget of $budget bytes (32 KiB) by $((budget - size)) bytes"
else
    verdict="OVER the budget of $budget bytes (32 KiB) by $((size - budget)) bytes"
fi
echo "  $exe"
echo "  $size bytes: $verdict"
echo "  A minimal dialog program, same compile flags, with the usual C runtime startup:"
echo "  $(stat -c %s "$minimal") bytes"
echo

# The DLLs Windows itself ships that a setup program may import.
echo "  Imports ($objdump -p):"
$objdump -p "$exe" | awk '
    /^\tDLL Name: / { dll = $3; order[++n] = dll; next }
    dll != "" && /^\t[0-9a-f]+\t/ { names[dll] = names[dll] " " $NF; count[dll]++; next }
    /^$/ { dll = "" }
    END {
        for (i = 1; i <= n; i++) {
            d = order[i]
            shipped = tolower(d) ~ /^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|comctl32|comdlg32|version)\.dll$/
            printf "  %s (%d functions%s):%s\n", d, count[d], shipped ? ", ships with Windows" : ", NOT A WINDOWS DLL", names[d]
        }
    }' | fold -s -w 100 | sed 's/ *$//; s/^\([^ ]\)/        \1/'
echo

echo "  Bytes per part, as linked (i686 map file $(basename "$map")):"
awk -v exe_size="$size" -f "$here/mapsize.awk" "$map"
