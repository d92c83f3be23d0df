#!/bin/sh
# Prints where the Authenticode signature of a PE image starts, as the file
# offset in its header's security directory (0x...), or 0 when it has none.
# Usage: signature-offset.sh EXE
set -eu
objdump=objdump
command -v i686-w64-mingw32-objdump >/dev/null && objdump=i686-w64-mingw32-objdump
$objdump -p "$1" | awk 'BEGIN { at = "00000000" } /Security Directory/ { at = $3 }
    END { print (at == "00000000" ? "0" : "0x" at) }'
