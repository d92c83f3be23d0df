#!/bin/sh
# Runs every test layer through CTest in the deliverable's build (or the one
# ARCH names).
set -eu
cd "$(dirname "$0")/.."
arch=$(scripts/test-arch.sh)
if [ "$arch" = i686 ]; then
    how=$(sh scripts/emulate-i386.sh describe)
else
    how="64-bit Wine, native CPU"
fi
echo "test: running the $arch build under Wine ($how)"
status=0
ctest --test-dir "build/$arch" --output-on-failure "$@" || status=$?
# Nothing may outlive the run, even after a failure.
tests/wine-fixture.sh stop "build/$arch" >/dev/null 2>&1 || true
exit $status
