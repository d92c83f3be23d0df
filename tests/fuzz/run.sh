#!/bin/sh
# Builds one fuzz target of the string layer natively with clang and runs it
# for a while from its committed corpus.
# Usage: run.sh BUILD_DIR TARGET SECONDS
#   The build goes to BUILD_DIR/fuzz. The corpus is copied there first and
#   the run adds to the copy only; crashes land in BUILD_DIR/fuzz/crashes.
set -eu
[ $# -eq 3 ] || { echo "usage: $0 BUILD_DIR TARGET SECONDS" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
target=$2
seconds=$3
[ -d "$here/corpus/$target" ] || { echo "run.sh: no corpus for $target" >&2; exit 2; }
mkdir -p "$1/fuzz"
build=$(cd "$1/fuzz" && pwd)

# Targets of one build dir may be started side by side: one build at a time.
(
    flock 9
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
            >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
    fi
    cmake --build "$build" --target "$target" -j2
) 9>"$build/.build-lock"

corpus="$build/corpus/$target"
rm -rf "$corpus"
mkdir -p "$corpus" "$build/crashes"
cp "$here/corpus/$target"/* "$corpus/"
dict=""
[ -f "$here/$target.dict" ] && dict="-dict=$here/$target.dict"

# -timeout: one input that loops or crawls is a fault too.
log="$build/$target.log"
status=0
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$build/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" $dict "$corpus" \
    >"$log" 2>&1 || status=$?
# The progress lines say little; the rest (a failure, the final counts) is kept.
grep -v -e '^#[0-9].*\(NEW\|REDUCE\|pulse\)' -e '^"' -e '^######' -e 'NEW_FUNC' "$log" | tail -n 80
exit $status
