#!/bin/sh
# Reads the shortcuts that the CreateShortcutTest suite leaves in the build's
# Wine prefix (C:\kr-tests\links) with lnkinfo from liblnk-utils, a reader
# that shares no code with Wine's shell.
# Usage: lnk-check.sh BUILD_DIR
set -u
if ! command -v lnkinfo >/dev/null 2>&1; then
    echo "lnkinfo is not installed (Debian package liblnk-utils)"
    exit 77
fi
links="$1/wine/prefix/drive_c/kr-tests/links"
failed=0

# lnkinfo 20181227 (Debian 12) prints strings as they are; later versions
# (Debian 13 has 20240423) escape a backslash as "\\", and read the show
# command and hot key right.
version=$(lnkinfo -V 2>&1 | sed -n 's/^lnkinfo \([0-9]\{8\}\).*/\1/p' | head -n 1)
escapes=no
[ "${version:-0}" -gt 20181227 ] && escapes=yes

# lnkinfo's report of one link, one "Field: value" per line, its strings as
# they are stored.
report() {
    if [ $escapes = yes ]; then
        lnkinfo "$links/$1" 2>&1 | sed 's/^[[:space:]]*//; s/[[:space:]]*: /: /; s/\\\\/\\/g'
    else
        lnkinfo "$links/$1" 2>&1 | sed 's/^[[:space:]]*//; s/[[:space:]]*: /: /'
    fi
}

# has LINK LINE: the report holds LINE exactly.
has() {
    if ! report "$1" | grep -qxF -- "$2"; then
        echo "FAIL $1: no line \"$2\""
        failed=1
    fi
}

# lacks LINK LINE: the report does not hold LINE.
lacks() {
    if report "$1" | grep -qxF -- "$2"; then
        echo "FAIL $1: unexpected line \"$2\""
        failed=1
    fi
}

# header LINK OFFSET COUNT HEX: raw bytes of the link header. lnkinfo
# 20181227 misreads the hot key and show command, so they are read here
# (and from later versions' reports as well).
header() {
    got=$(od -An -tx1 -j "$2" -N "$3" "$links/$1" | tr -d ' \n')
    if [ "$got" != "$4" ]; then
        echo "FAIL $1: bytes at $2 are $got, not $4"
        failed=1
    fi
}

for link in full.lnk bare.lnk startup.lnk; do
    if [ ! -f "$links/$link" ]; then
        echo "FAIL $link: missing in $links"
        exit 1
    fi
    header $link 0 4 4c000000
    # Show command (offset 60): never set, so SW_SHOWNORMAL.
    header $link 60 4 01000000
    lacks $link "Contains a description string"
    [ $escapes = no ] || has $link "Show Window value: 0x00000001"
done

has full.lnk "Local path: C:\\kr-tests\\targets\\tool.exe"
has full.lnk "Working directory: C:\\kr-tests\\targets"
has full.lnk "Command line arguments: uninstall"
has full.lnk "Icon location: C:\\kr-tests\\targets\\tool.exe"
has full.lnk "Icon index: 1"
# Hot key (offset 64): 'K' with Ctrl+Alt.
header full.lnk 64 2 4b06
[ $escapes = no ] || has full.lnk "Hot Key value: 1611"

has bare.lnk "Local path: C:\\kr-tests\\targets\\help.hlp"
lacks bare.lnk "Contains a working directory string"
lacks bare.lnk "Contains a command line arguments string"
lacks bare.lnk "Contains an icon location string"
has bare.lnk "Icon index: 0"
header bare.lnk 64 2 0000
[ $escapes = no ] || has bare.lnk "Hot Key value: 0"

has startup.lnk "Local path: C:\\kr-tests\\targets\\tool.exe"
has startup.lnk "Command line arguments: S"
has startup.lnk "Working directory: C:\\kr-tests\\targets"
lacks startup.lnk "Contains an icon location string"
has startup.lnk "Icon index: 0"

[ $failed = 0 ] && echo "links read back by lnkinfo"
exit $failed
