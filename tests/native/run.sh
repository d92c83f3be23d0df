#!/bin/sh
# Builds the portable string layer for the host with clang under the address
# and undefined-behaviour sanitizers and runs its tests; first the test of
# the trap-number repair library's bookkeeping.
# Usage: run.sh BUILD_DIR   (the native build goes to BUILD_DIR/native)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1/native"
build=$(cd "$1/native" && pwd)
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2
"$build/trapfix_native_tests"
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    exec "$build/str_native_tests"
