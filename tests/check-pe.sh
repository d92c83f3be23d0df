#!/bin/sh
# Checks the exploit mitigations in the header of a setup.exe and the
# relocation table they rely on:
#   - DYNAMIC_BASE (ASLR), NX_COMPAT (DEP), TERMINAL_SERVICE_AWARE; on a
#     64-bit image also HIGH_ENTROPY_VA; pesec (Debian pev), a second reader,
#     must agree on ASLR and DEP where it is installed;
#   - a relocation table, and a sane one: every entry of the type of the
#     architecture, at an address inside a section, holding an address
#     inside the image (a table that misses or garbles one fixup leaves a
#     relocated image pointing at the preferred base);
#   - NO_SEH on a 32-bit image, and then no instruction that reaches the
#     structured exception handler chain (fs:0): NO_SEH makes Windows refuse
#     every handler the image might register.
# Usage: check-pe.sh EXE
set -eu
exe=$1
[ -f "$exe" ] || { echo "missing $exe"; exit 1; }
objdump=objdump
command -v x86_64-w64-mingw32-objdump >/dev/null && objdump=x86_64-w64-mingw32-objdump
header=$($objdump -p "$exe")
failed=0
fail() {
    echo "$exe: $*"
    failed=$((failed + 1))
}

case $(echo "$header" | sed -n 's/^Magic[[:space:]]*\([0-9a-f]*\).*/\1/p') in
010b) bits=32 flags="DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE NO_SEH" fixup=HIGHLOW width=4 ;;
020b) bits=64 flags="DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE HIGH_ENTROPY_VA" fixup=DIR64 width=8 ;;
*) echo "$exe: not a PE image"; exit 1 ;;
esac
set_flags=$(echo "$header" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' | awk 'NR > 1 && NF == 1 { print $1 }')
for flag in $flags; do
    echo "$set_flags" | grep -qx "$flag" || fail "$flag is not set"
done

if command -v pesec >/dev/null; then
    sec=$(pesec "$exe" 2>&1) || true
    echo "$sec" | grep -q '^ASLR:[[:space:]]*yes' || fail "pesec: ASLR not set"
    echo "$sec" | grep -q '^DEP/NX:[[:space:]]*yes' || fail "pesec: DEP/NX not set"
fi

# The relocation table: objdump lists each fixup as
# "reloc N offset O [RVA] TYPE"; the image's bytes come from od.
base=$(echo "$header" | sed -n 's/^ImageBase[[:space:]]*\([0-9a-f]*\).*/\1/p')
image_size=$(echo "$header" | sed -n 's/^SizeOfImage[[:space:]]*\([0-9a-f]*\).*/\1/p')
relocs=$(echo "$header" | awk '/^\treloc / { print $5, $6 }' | tr -d '[]')
[ -n "$relocs" ] || fail "no relocation table"
if [ -n "$relocs" ]; then
    # Sections: name, VMA, size, file offset (objdump -h, in hex).
    sections=$($objdump -h "$exe" | awk '/^ *[0-9]+ \./ { print $2, $4, $3, $6 }')
    problems=$( (echo "$sections" | sed 's/^/S /'
                 echo "$relocs" | sed 's/^/R /'
                 od -An -v -tu1 "$exe") | awk -v base="$base" -v size="$image_size" \
        -v want="$fixup" -v width="$width" '
        function hex(s,   n, i, c) {
            n = 0; s = tolower(s)
            for (i = 1; i <= length(s); i++) {
                c = index("0123456789abcdef", substr(s, i, 1)) - 1
                n = n * 16 + c
            }
            return n
        }
        $1 == "S" { nsec++; vma[nsec] = hex($3); len[nsec] = hex($4); off[nsec] = hex($5); next }
        $1 == "R" { nrel++; rva[nrel] = hex($2); kind[nrel] = $3; next }
        { for (i = 1; i <= NF; i++) byte[nbytes++] = $i }
        END {
            b = hex(base); top = b + hex(size)
            for (r = 1; r <= nrel; r++) {
                if (kind[r] == "ABSOLUTE") continue
                if (kind[r] != want) { printf "fixup at %x of type %s\n", rva[r], kind[r]; continue }
                s = 0
                for (i = 1; i <= nsec; i++)
                    if (rva[r] >= vma[i] - b && rva[r] + width <= vma[i] - b + len[i]) s = i
                if (!s) { printf "fixup at %x outside every section\n", rva[r]; continue }
                p = off[s] + rva[r] - (vma[s] - b)
                v = 0
                for (i = width - 1; i >= 0; i--) v = v * 256 + byte[p + i]
                if (v < b || v >= top) printf "fixup at %x holds %x, outside the image\n", rva[r], v
                good++
            }
            printf "%d fixups\n", good
        }')
    count=$(echo "$problems" | tail -1)
    echo "$problems" | sed '$d' | head -5 | while IFS= read -r line; do echo "$exe: $line"; done
    [ "$(echo "$problems" | wc -l)" -eq 1 ] || failed=$((failed + 1))
fi

if [ "$bits" = 32 ] && $objdump -d "$exe" | grep -q '%fs:'; then
    fail "code reaches the exception handler chain (fs): the NO_SEH mark would be false"
fi

echo "$exe: $bits-bit, DllCharacteristics: $(echo "$set_flags" | tr '\n' ' ' | sed 's/ $//'); ${count:-no fixups}"
[ "$failed" -eq 0 ]
