#!/bin/sh
# Configures and builds the deliverable with its tests (build/i686) and, with
# ARCH=x86_64, the 64-bit build of the same sources beside it.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {
    dir=build/$1
    # (A tree configured by older scripts may have its tests switched off.)
    if ! grep -qx "KR_BUILD_TESTS:BOOL=ON" "$dir/CMakeCache.txt" 2>/dev/null; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$1.cmake" \
            -DKR_DELIVERABLE_DIR="$(pwd)/build/i686/dist" -DKR_BUILD_TESTS=ON >/dev/null
    fi
    cmake --build "$dir" -j"$jobs"
}

configure_and_build i686
if [ "${ARCH:-i686}" != i686 ]; then
    configure_and_build "$ARCH"
fi
