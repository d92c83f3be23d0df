#!/bin/sh
# Runs every test layer through CTest in the build that Wine here can run.
set -eu
cd "$(dirname "$0")/.."
arch=$(scripts/test-arch.sh)
echo "test: running the $arch build under Wine"
status=0
ctest --test-dir "build/$arch" --output-on-failure "$@" || status=$?
# Nothing may outlive the run, even after a failure.
tests/wine-fixture.sh stop "build/$arch" >/dev/null 2>&1 || true
exit $status
