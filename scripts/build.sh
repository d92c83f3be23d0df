#!/bin/sh
# Configures and builds the deliverable (build/i686) and, where Wine here can
# only run 64-bit programs, the 64-bit test build beside it.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# Arguments: the architecture of the tree, and whether it builds the tests.
configure_and_build() {
    dir=build/$1
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$1.cmake" \
            -DKR_DELIVERABLE_DIR="$(pwd)/build/i686/dist" -DKR_BUILD_TESTS="$2" >/dev/null
    fi
    cmake --build "$dir" -j"$jobs"
}

arch=$(scripts/test-arch.sh)
if [ "$arch" = i686 ]; then
    configure_and_build i686 ON
else
    configure_and_build i686 OFF
    configure_and_build "$arch" ON
fi
