#!/bin/sh
# `make run`: with a display, opens the installer for real use against the
# build's private Wine prefix; without one, runs the scripted demonstration
# of the dialogs under Xvfb and saves screenshots in the build folder.
set -eu
cd "$(dirname "$0")/.."
arch=$(scripts/test-arch.sh)
build=$(pwd)/build/$arch
KR_BUILD=$build

if [ -n "${DISPLAY:-}" ]; then
    echo "run: opening $build/dist/setup.exe on $DISPLAY (Wine prefix $build/wine/prefix)"
    KR_USE_DISPLAY=1 tests/wine-fixture.sh start "$build" >/dev/null
    . tests/wine-env.sh
    "$WINE" "$build/dist/setup.exe" "$@" || true
    tests/wine-fixture.sh stop "$build" >/dev/null 2>&1 || true
    exit 0
fi

shots=$build/screenshots
rm -rf "$shots"
mkdir -p "$shots"
status=0
tests/wine-run.sh "$build" "$build/tests/demo/demo.exe" "Z:$(echo "$build/dist" | tr / '\\')" \
    "Z:$(echo "$shots" | tr / '\\')" | tr -d '\r' || status=$?
for bmp in "$shots"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "Screenshots: $(ls "$shots"/*.png 2>/dev/null | tr '\n' ' ')"
tests/wine-fixture.sh stop "$build" >/dev/null 2>&1 || true
exit $status
