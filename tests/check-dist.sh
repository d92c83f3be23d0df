#!/bin/sh
# Checks that a build's distribution folder is complete: setup.exe beside
# every file that the install plan copies, none of them empty, and kr.exe
# carrying the icon that the macro list file class names ("kr.exe,5").
# With --exact (as the release archive is made) it holds nothing else
# either: no log, nothing that a run left there.
# Usage: check-dist.sh [--exact] DIST_DIR
set -eu
exact=
if [ "${1:-}" = --exact ]; then
    exact=1
    shift
fi
dist=$1
[ -d "$dist" ] || { echo "no distribution folder: $dist"; exit 1; }

failed=0
count=0
# What the build puts there, one name a line (several hold blanks):
# setup.exe, the product's programs, and every data file of product/files. Each file the install plan names is among
# them (the plan's table in app/plan.h; "*.ico" is checked below).
src=$(cd "$(dirname "$0")/.." && pwd)
files="setup.exe
krhook20.dll
pdh.dll
psapi.dll
krcl.exe
kr.exe
$(ls "$src/product/files")"
planned=$(sed -n 's/^ *{[0-9]*, *[^,]*, *Action::[A-Za-z0-9]*, *"\([^"*]*\)".*/\1/p' "$src/app/plan.h")
count=$((count + 1))
unplanned=0
while IFS= read -r name; do
    if ! printf '%s\n' "$files" | grep -qxF -- "$name"; then
        echo "in the install plan, not in product/files: $name"
        unplanned=$((unplanned + 1))
    fi
done <<PLAN
$planned
PLAN
[ "$unplanned" -eq 0 ] && [ "$(printf '%s\n' "$planned" | wc -l)" -ge 18 ] || failed=$((failed + 1))
while IFS= read -r name; do
    count=$((count + 1))
    if [ ! -f "$dist/$name" ]; then
        echo "missing: $name"
        failed=$((failed + 1))
    elif [ ! -s "$dist/$name" ]; then
        echo "empty: $name"
        failed=$((failed + 1))
    fi
done <<LIST
$files
LIST

# The plan copies the icons as "*.ico": at least one must match.
count=$((count + 1))
icons=$(find "$dist" -maxdepth 1 -type f -name '*.ico' | wc -l)
if [ "$icons" -eq 0 ]; then
    echo "missing: *.ico"
    failed=$((failed + 1))
fi

# Anything else: a file that is neither named above nor an icon (the plan
# installs every "*.ico" of the folder), or a folder.
if [ -n "$exact" ]; then
    count=$((count + 1))
    extra=0
    while IFS= read -r name; do
        [ -n "$name" ] || continue
        case $name in
        *.ico) [ -f "$dist/$name" ] && continue ;;
        *) [ -f "$dist/$name" ] && printf '%s\n' "$files" | grep -qxF -- "$name" && continue ;;
        esac
        echo "unexpected: $name"
        extra=$((extra + 1))
    done <<NAMES
$(ls -A "$dist")
NAMES
    [ "$extra" -eq 0 ] || failed=$((failed + 1))
fi

# Icon groups of kr.exe: resource type 14, counted from objdump's dump of
# the resource directory (the entry of the type, then its name table).
count=$((count + 1))
objdump=objdump
command -v x86_64-w64-mingw32-objdump >/dev/null && objdump=x86_64-w64-mingw32-objdump
groups=0
if [ -f "$dist/kr.exe" ]; then
    groups=$($objdump -p "$dist/kr.exe" | awk '
        /The .rsrc Resource Directory/ { rsrc = 1; next }
        rsrc && /^[0-9a-f]+   Entry: ID: / { type = $4; next }
        rsrc && type == "0x00000e," && /Name Table:/ {
            for (i = 1; i <= NF; i++) {
                if ($i == "Names:") n += $(i + 1)
                if ($i == "IDs:") n += $(i + 1)
            }
            print n; exit
        }
        END { if (!n) print 0 }')
fi
if [ "$groups" -lt 6 ]; then
    echo "kr.exe has $groups icon groups; the macro list files name index 5"
    failed=$((failed + 1))
fi

echo "$dist: $((count - failed)) of $count checks passed"
[ "$failed" -eq 0 ]
