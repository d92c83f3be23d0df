#!/bin/sh
# Installs what the build and the tests need on a Debian 12 machine, and
# nothing when everything is already there. Safe to run again and again.
set -eu

need=""
have_pkg() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_updated=""
fi

for pkg in g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32:i386 wine64 xvfb xauth \
    x11-apps imagemagick liblnk-utils cmake make clang libclang-rt-14-dev \
    cppcheck clang-format googletest libbenchmark-dev hyperfine pev osslsigncode openssl; do
    have_pkg "$pkg" || need="$need $pkg"
done

if [ -z "$need" ]; then
    exit 0
fi

if [ "$(id -u)" != 0 ]; then
    echo "bootstrap: missing packages:$need (run as root to install them)" >&2
    exit 1
fi

echo "bootstrap: installing$need"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $need >/dev/null
