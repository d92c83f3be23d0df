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
# A signature (make sign) is appended to the image and not counted: the
# security directory gives the file offset where it starts.
signature=$(sh "$here/../scripts/signature-offset.sh" "$exe")
signed=""
if [ "$signature" != 0 ]; then
    signed=" (signed: the $((size - signature)) bytes of the signature are not counted)"
    size=$((signature))
fi
if [ "$size" -le "$budget" ]; then
    verdict="within the budget of $budget bytes (32 KiB) by $((budget - size)) bytes"
else
    verdict="OVER the budget of $budget bytes (32 KiB) by $((size - budget)) bytes"
fi
echo "  $exe"
echo "  $size bytes: $verdict$signed"
# Beyond 32 KiB the file may take 512-byte steps up to 33792 bytes for a
# feature whose room cannot be found otherwise; each step taken is named.
if [ "$size" -gt "$budget" ]; then
    cat <<'STEPS'
  The one 512-byte step over 32 KiB (at most 33792 bytes are allowed) went to the unattended
  mode. What its parts cost, each measured by building setup.exe without it (gcc 12, LTO):
    command line, silent run and exit codes, with the log:  .text 1208, .rdata 192, .idata 84,
        .reloc 64; of which the log (file, UTF-8 lines, its texts): .text 584, .rdata 160,
        .idata 84 (CreateFileA, WriteFile, WideCharToMultiByte), .reloc 32
    the links for all users (two more shell folder values, both removed by every uninstall):
        .text 112
    the QuietUninstallString value: .rdata 64, .reloc 4
    the desktop shell's route as a straight sequence that releases every object (against the
        loop it replaced, mended): .text 104, .rdata -32, .reloc 32
    the installed size counted from the setup folder's names: .text -216
  Found for it: the manifest's optional parts (standalone, a description, uiAccess), .rsrc -80,
  which keeps the resources at 6144 bytes; the rest took the step.
STEPS
fi
echo "  A minimal dialog program, same compile flags, with the usual C runtime startup:"
echo "  $(stat -c %s "$minimal") bytes"
echo

# The DLLs Windows itself ships that a setup program may import.
echo "  Imports ($objdump -p):"
# A function's line starts with its address: binutils 2.40 (Debian 12) puts
# a tab after it, 2.44 (Debian 13) spaces and an ordinal column; the name
# ends the line in both.
$objdump -p "$exe" | awk '
    /^\tDLL Name: / { dll = $3; order[++n] = dll; next }
    dll != "" && /^\t[0-9a-f]+[ \t]/ { names[dll] = names[dll] " " $NF; count[dll]++; next }
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
echo

# The file grows in steps of the file alignment (512 bytes): the room left in
# each section says how much a change may add before the file grows.
echo "  Sections (bytes used, and room before the section takes 512 bytes more):"
# (awk here may be mawk, which reads no hexadecimal numbers.)
hex='function hex(s, n, i) { s = tolower(s); n = 0
    for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return n }'
$objdump -h "$exe" | awk "$hex"'
    /^ *[0-9]+ \./ { name = $2; size = $3 }
    /CONTENTS/ && name != "" {
        n = hex(size)
        line = line sprintf(" %s %d (%d),", name, n, (512 - n % 512) % 512); name = ""
    }
    END { sub(/,$/, "", line); print " " line }'
echo

# Link-time optimisation merges the objects into one unit; their sizes as
# compiled for the test libraries (one section per function, before the
# optimiser inlines and drops code) still say where the bytes are.
build=$(dirname "$map")
if [ -f "$build/libapp.a" ] && [ -f "$build/libsupport.a" ]; then
    echo "  Own code per object, as compiled for the test libraries (before link-time"
    echo "  optimisation; .text, .rdata and .data sections, in bytes):"
    for lib in app support; do
        $objdump -h "$build/lib$lib.a" | awk -v lib="$lib" "$hex"'
            /file format/ { obj = $1; sub(/\.cpp\.obj:$/, "", obj) }
            /^ *[0-9]+ \./ && $2 !~ /zzz$/ && $2 ~ /^\.(text|rdata|data)/ {
                n = hex($3)
                bytes[obj] += n; total += n
            }
            END {
                line = ""
                for (o in bytes) line = line sprintf(" %s %d,", o, bytes[o])
                sub(/,$/, "", line)
                printf "  %s/ %d:%s\n", lib, total, line
            }' | fold -s -w 100 | sed 's/ *$//; 2,$s/^/        /'
    done
fi
