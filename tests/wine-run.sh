#!/bin/sh
# Runs a Windows program of the build under its private Wine prefix.
# Usage: wine-run.sh BUILD_DIR program.exe [args...]
set -eu
here=$(dirname "$0")
build=$1
shift
"$here/wine-fixture.sh" start "$build" >/dev/null
KR_BUILD=$build
. "$here/wine-env.sh"
# Output goes through a file: processes that Wine starts on the side
# (services, explorer) inherit it and would hold a pipe open after the
# program has ended.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
set +e
"$WINE" "$@" </dev/null >"$out" 2>&1
rc=$?
set -e
cat "$out"
exit $rc
