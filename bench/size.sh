#!/bin/sh
# Figure 1: the size of the deliverable against its budget, its imports, the
# bytes of each of its sections and the room left in each, and the bytes of
# each object of the test libraries (binutils' size and objdump).
# Usage: size.sh SETUP_EXE MINIMAL_EXE [LIBRARY.a...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
minimal=$2
shift 2
budget=32768
objdump=i686-w64-mingw32-objdump
size_tool=i686-w64-mingw32-size

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

# The file grows in steps of the file alignment (512 bytes): the room left in
# each section says how much a change may add before the file grows. What
# the sections leave of the file is the PE headers and the padding of each
# section to the file alignment. (A stripped image keeps 8 characters of a
# section's name: .eh_frame is .eh_fram.)
echo "  Bytes per section ($size_tool -A), and the room before each takes 512 bytes more:"
$size_tool -A -d "$exe" | awk -v file="$size" -v name="$(basename "$exe")" '
    BEGIN {
        printf "  %-28s %6s %6s\n", "section", "bytes", "room"
        note[".idata"] = "  (import tables)"
        note[".rsrc"] = "  (resources)"
        note[".reloc"] = "  (base relocations)"
    }
    NR <= 2 || NF < 2 || $1 == "Total" { next }
    $1 == ".bss" { bss = $2; next }
    {
        printf "  %-28s %6d %6d%s\n", $1, $2, (512 - $2 % 512) % 512, note[$1]
        used += $2
        if ($1 ~ /^\.(CRT|tls|eh_fram)/)
            heavy = heavy sprintf(" %s %d,", $1, $2)
    }
    END {
        if (bss != "")
            printf "  %-28s %6d %6s  (takes no file bytes)\n", ".bss", bss, ""
        printf "  %-28s %6d\n", "PE headers, file alignment", file - used
        printf "  %-28s %6d\n", "= " name, file
        sub(/,$/, "", heavy)
        if (heavy != "")
            print "  HEAVY: sections of mingw startup code (.CRT, .tls) or unwind tables (.eh_frame):" heavy
        else
            print "  Heavy runtime parts: none (no .CRT or .tls of mingw startup code, no .eh_frame unwind tables)"
    }'
echo

# Link-time optimisation merges the objects into one unit; their sizes as
# compiled for the test libraries (one section per function, before the
# optimiser inlines and drops code) still say where the bytes are. The
# compiler's ident (.rdata$zzz) is left out.
if [ $# -gt 0 ]; then
    echo "  Own code per object, as compiled for the test libraries (before link-time"
    echo "  optimisation; .text, .rdata and .data sections, in bytes):"
    for lib in "$@"; do
        $size_tool -A -d "$lib" | awk -v lib="$(basename "$lib" .a | sed 's/^lib//')" '
            / \(ex / { obj = $1; sub(/\.cpp\.obj$/, "", obj); order[++n] = obj; next }
            $1 ~ /^\.(text|rdata|data)/ && $1 !~ /zzz$/ { bytes[obj] += $2; total += $2 }
            END {
                line = ""
                for (i = 1; i <= n; i++) line = line sprintf(" %s %d,", order[i], bytes[order[i]])
                sub(/,$/, "", line)
                printf "  %s/ %d:%s\n", lib, total, line
            }' | fold -s -w 100 | sed 's/ *$//; 2,$s/^/        /'
    done
fi
