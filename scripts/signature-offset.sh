#!/bin/sh
# Prints where the Authenticode signature of a PE image starts, as the file
# offset in its header's security directory (0x...), or 0 when it has none.
# Reads the 32-bit image (PE32) and the 64-bit one (PE32+) alike: the i686
# objdump does not recognise a PE32+ file at all, so each objdump is tried
# until one reads it; the x86_64 one and the host's read both. objdump
# prints the offset in 8 hex digits for PE32 and 16 for PE32+. A file that
# none of them reads counts as unsigned.
# Usage: signature-offset.sh EXE
set -eu
headers=
for objdump in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
    command -v $objdump >/dev/null || continue
    headers=$($objdump -p "$1" 2>/dev/null) && break
    headers=
done
printf '%s\n' "$headers" | awk 'BEGIN { at = "" } /Security Directory/ { at = $3 }
    END { sub(/^0+/, "", at); print (at == "" ? "0" : "0x" at) }'
