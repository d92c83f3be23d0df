#!/bin/sh
# `make bench`: performance figures of the setup program, printed as one
# report. Figures, never tests: nothing here passes or fails on a number.
# Each figure is measured side by side with its reference in the same run.
#   1. size and imports of the deliverable, and what each part costs
#   2. start to dialog under Wine, against two minimal dialog programs:
#      one as far as setup.exe can go (its manifest, OleInitialize), and
#      a bare one
#   3. a default install under Wine, against its prescribed waits and one
#      shell copy of the same files, broken down by the captions its dialog
#      shows; beside it the silent install (setup.exe /S)
#   4. native micro-benchmarks of the string buffer and the formatter
# Usage: bench.sh [DELIVERABLE_BUILD [TEST_BUILD]]
#   (default: build/i686 for both; ARCH=x86_64 times the 64-bit build)
# STARTUP_RUNS and INSTALL_RUNS set the number of runs (15 and 5).
set -eu
cd "$(dirname "$0")/.."
arch=$(scripts/test-arch.sh)
deliverable=$(cd "${1:-build/i686}" && pwd)
test_build=$(cd "${2:-build/$arch}" && pwd)
test_arch=$(cat "$test_build/wine-arch")
startup_runs=${STARTUP_RUNS:-15}
install_runs=${INSTALL_RUNS:-5}
out=$test_build/bench

# Nothing may outlive the run.
trap 'tests/wine-fixture.sh stop "$test_build" >/dev/null 2>&1 || true' EXIT

winpath() {
    printf 'Z:%s' "$1" | sed 's|/|\\|g'
}

# Run in a subshell: the Wine environment of the test build.
wine_version() {
    # shellcheck disable=SC2034 # read by wine-env.sh
    KR_BUILD=$test_build
    # shellcheck source=tests/wine-env.sh
    . tests/wine-env.sh
    "$WINE" --version 2>/dev/null || echo Wine
}

# The programs of the bench, built by CMake as bench/CMakeLists.txt says
# (the target bench_programs); the size report takes the deliverable's
# bare minimal program. The build's own output is no part of the report.
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$test_build" --target bench_programs -j"$jobs" >&2
if [ "$deliverable" != "$test_build" ]; then
    cmake --build "$deliverable" --target bench_bare -j"$jobs" >&2
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Kestrune 2 setup: figures of $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Machine: ${cpu:-unknown CPU}, $(nproc) CPUs, $(uname -sr), $(wine_version)"
# Timings under other load spread wide: the load says how far to trust them.
echo "Load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

echo "1. Size of the deliverable (32-bit)"
sh bench/size.sh "$deliverable/dist/setup.exe" "$deliverable/bench/minimal.exe" \
    "$deliverable/libapp.a" "$deliverable/libsupport.a"
echo

# Which build the Wine figures are of, and whether its CPU was emulated.
if [ "$test_arch" = i686 ]; then
    loader=$(sh scripts/emulate-i386.sh describe)
else
    loader="64-bit Wine, native CPU"
fi

echo "2. From CreateProcess to the dialog on screen, under Wine, against two minimal dialog"
echo "   programs: the floor carries setup.exe's manifest and calls OleInitialize as setup.exe"
echo "   must (the start-up setup.exe can reach); the bare one has neither"
echo "  ($test_arch build, $loader)"
tests/wine-run.sh "$test_build" "$out/bench_driver.exe" startup "$startup_runs" \
    "$(winpath "$test_build/dist/setup.exe")" "$(winpath "$out/minimal-floor.exe")" \
    "$(winpath "$out/minimal.exe")" | tr -d '\r' ||
    echo "  (the bench driver ended abnormally)"
echo

echo "3. A default install under Wine, with the dialog and silent, against the prescribed"
echo "   waits and one shell copy of the same files"
echo "  ($test_arch build, $loader; a scratch destination, cleaned after each install)"
KR_DIST=$test_build/dist KR_BUILD=$test_build \
    tests/wine-run.sh "$test_build" "$out/bench_driver.exe" install "$install_runs" \
    "$(winpath "$out/minimal-floor.exe")" | tr -d '\r' ||
    echo "  (the bench driver ended abnormally)"
tests/wine-fixture.sh stop "$test_build" >/dev/null 2>&1 || true
echo

echo "4. String buffer and formatter, native (g++ -O2, Google Benchmark)"
echo "  CPU time per operation, median of 5 repetitions; allocs: malloc/calloc/realloc"
echo "  (operator new included) per operation; vs std: time against the std::string row"
"$out/native/str_bench" --benchmark_repetitions=5 --benchmark_min_time=0.1 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -f bench/native/report.awk
