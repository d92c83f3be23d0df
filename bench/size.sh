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
# Beyond 32 KiB the file takes 512-byte steps, each for a feature whose room
# could not be found otherwise; each step taken is named.
if [ "$size" -gt "$budget" ]; then
    cat <<'STEPS'
  Three 512-byte steps over 32 KiB, each measured against the build before it (gcc 12, LTO):
  1. the unattended mode (33280 bytes): command line, silent run and exit codes, with the log:
        .text 1208, .rdata 192, .idata 84, .reloc 64; of which the log: .text 584, .rdata 160,
        .idata 84 (CreateFileA, WriteFile, WideCharToMultiByte), .reloc 32; the links for all
        users .text 112; the QuietUninstallString .rdata 64, .reloc 4. Found for it: the
        manifest's optional parts, .rsrc -80.
  2. files in use replaced, and a restart finishes the install (33792 bytes): .text 916,
        .rdata 320, .idata 148 (MoveFileExA, CopyFileA, AdjustTokenPrivileges, ExitWindowsEx),
        .reloc 92; of which the restart question and the restart .text 112, the aside files of
        earlier runs deleted .text 108, a pattern copied file by file .text 36, the guard of
        every session .text 24. Found for it: the data section left out (FindFileHandle set
        at start, the log handle null while closed), 8 bytes of data that took 512 of file.
  3. unattended runs that tell deployment tools the truth (34816 bytes): strict reading, the
        Apps entry's folder, the checks of the registration and the links, the system account,
        no window from Windows, the log that is no way in: .text 1040, .rdata 128, .idata 68
        (SetErrorMode, SetLastError, GetFileInformationByHandle, SetEndOfFile), .reloc 88.
        Found for it: the shutdown privilege by its fixed LUID, not looked up by name; exit()
        for ExitProcess; the dialog's "uninstall" from the command-line reader, not lstrcmpiA;
        shorter log texts; the switches as a list of names.
  Since: one home per concern (.text -104) and owners that release COM objects and keys
  (.text +116, .reloc -64): the same 34816 bytes. A change may not make it larger.
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
