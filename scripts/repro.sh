#!/bin/sh
# Proves the deliverable reproducible: builds it twice from copies of the
# sources in two folders of different names and depths (a build path that
# leaked into a file would show), and compares setup.exe and every stand-in
# file of dist/ byte for byte between the two builds and with the
# distribution folder already built; a file that one of the three lacks
# counts as a difference. A signed setup.exe there is compared
# without its signature (osslsigncode remove-signature), as a user checks a
# shipped file.
# Usage: repro.sh [DIST_DIR [WORK_DIR]]
#   (default: build/i686/dist and build/repro)
set -eu
cd "$(dirname "$0")/.."
src=$(pwd)
dist=${1:-$src/build/i686/dist}
work=${2:-$src/build/repro}
jobs=$(nproc 2>/dev/null || echo 2)
targets="setup product_kr product_krcl product_krhook20 product_pdh product_psapi product_files"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT

build_copy() {
    tree=$1
    mkdir -p "$tree"
    tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$tree" -xf -
    cmake -S "$tree" -B "$tree/build/i686" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-i686.cmake" \
        -DKR_BUILD_TESTS=OFF >/dev/null
    # shellcheck disable=SC2086
    cmake --build "$tree/build/i686" -j"$jobs" --target $targets >/dev/null
}

first=$work/a/src
second=$work/another-build-folder/kestrune-2-setup
build_copy "$first"
build_copy "$second"

differ=0
compared=0
a=$first/build/i686/dist
b=$second/build/i686/dist
# Every name that any of the three folders holds: a file that only one of
# them has is a difference as well.
names=$(for folder in "$a" "$b" "$dist"; do ls -A "$folder"; done | sort -u)
while IFS= read -r name; do
    compared=$((compared + 1))
    missing=
    for folder in "$a" "$b" "$dist"; do
        [ -f "$folder/$name" ] || missing="$missing $folder"
    done
    if [ -n "$missing" ]; then
        echo "not in every folder: $name (missing in$missing)"
        differ=$((differ + 1))
        continue
    fi
    if ! cmp -s "$a/$name" "$b/$name"; then
        echo "differs between two builds: $name"
        differ=$((differ + 1))
    fi
    shipped=$dist/$name
    if [ "$name" = setup.exe ] && [ "$(sh "$src/scripts/signature-offset.sh" "$shipped")" != 0 ]; then
        osslsigncode remove-signature -in "$shipped" -out "$work/unsigned.exe" >/dev/null
        shipped=$work/unsigned.exe
    fi
    if ! cmp -s "$a/$name" "$shipped"; then
        echo "differs from $dist: $name"
        differ=$((differ + 1))
    fi
done <<NAMES
$names
NAMES

echo "sha256 of setup.exe: $(sha256sum "$first/build/i686/dist/setup.exe" | cut -d' ' -f1)"
echo "$compared files of dist/ compared between two builds and with $dist: $differ differences"
[ "$compared" -gt 1 ] && [ "$differ" -eq 0 ]
