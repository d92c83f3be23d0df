#!/bin/sh
# Prints the Windows architecture of the build that the tests run: i686, the
# deliverable, unless ARCH names another (ARCH=x86_64: the same sources for
# 64-bit Windows, an extra check). Fails with a clear message when the 32-bit
# Wine loader does not start here, natively or emulated (scripts/bootstrap.sh
# sets up the emulation).
arch=${ARCH:-i686}
case $arch in
i686)
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "test-arch: the 32-bit Wine loader does not start on this machine;" \
            "run scripts/bootstrap.sh as root (it sets up i386 emulation where the kernel needs it)" >&2
        exit 1
    fi
    ;;
x86_64) ;;
*)
    echo "test-arch: ARCH must be i686 or x86_64, not $arch" >&2
    exit 2
    ;;
esac
echo "$arch"
