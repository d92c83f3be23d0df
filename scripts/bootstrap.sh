#!/bin/sh
# Installs what the build and the tests need on a Debian 12 or Debian 13
# machine, and nothing when everything is already there. Safe to run again
# and again. The package names are those both releases have; none names a
# version.
# Where the kernel refuses 32-bit programs it then sets up their emulation
# (scripts/emulate-i386.sh), so that the 32-bit Wine loader, and with it the
# deliverable, runs.
set -eu

need=""
have_pkg() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

for pkg in g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32:i386 wine64 xvfb xauth \
    x11-apps fonts-wine imagemagick liblnk-utils cmake make gcc g++ clang libclang-rt-dev \
    cppcheck clang-format googletest libbenchmark-dev hyperfine pev osslsigncode openssl \
    python3 python3-yaml; do
    have_pkg "$pkg" || need="$need $pkg"
done

if [ -n "$need" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "bootstrap: missing packages:$need (run as root to install them)" >&2
        exit 1
    fi
    echo "bootstrap: installing$need"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 update -qq
    # shellcheck disable=SC2086
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $need >/dev/null
fi

sh "$(dirname "$0")/emulate-i386.sh" setup
