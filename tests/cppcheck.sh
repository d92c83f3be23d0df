#!/bin/sh
# Static analysis of the program's own code; any finding fails the test.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
cd "$src"
cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr -q \
    --error-exitcode=1 -I support -I app -I res -D_WIN32 --suppress=missingIncludeSystem \
    --library=windows app support
echo "cppcheck: app/ and support/ clean"
