#!/bin/sh
# Static analysis of the program's own code; any finding fails the test.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
cd "$src"
# cppcheck 2.11 and later limit the branches they follow unless told not to,
# and say so in an "information" line for each function they cut short:
# the whole program is small enough to be read in full.
set --
if cppcheck --help 2>/dev/null | grep -q -- '--check-level'; then
    set -- --check-level=exhaustive
fi
cppcheck "$@" --enable=warning,style,performance,portability --std=c++17 --inline-suppr -q \
    --error-exitcode=1 -I support -I app -I res -D_WIN32 --suppress=missingIncludeSystem \
    --library=windows app support
echo "cppcheck: app/ and support/ clean"
