#!/bin/sh
# The upgrade over a running product, across a restart as Wine makes one:
# the prefix's server is stopped, which ends every program in it, and the
# next program starts the prefix anew, carrying out the renames and
# deletions that were left for the restart.
# Usage: restart.sh BUILD_DIR E2E_TESTS_EXE
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/wine-run.sh" "$1" "$2" --gtest_filter=FilesInUse.Upgrades*
(
    KR_BUILD=$1
    . "$here/wine-env.sh"
    wineserver -k
    wineserver -w
)
"$here/wine-run.sh" "$1" "$2" --gtest_filter=FilesInUse.AfterTheRestart*
