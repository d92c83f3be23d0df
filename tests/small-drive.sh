#!/bin/sh
# A small drive for the disk-full cases: a tmpfs of a fixed size mounted at
# BUILD/wine/small-drive and mapped as drive R: in the build's Wine prefix.
# The size holds one install and the user's files beside it, no more; each
# case fills the drive with a file of the user's to the point where the
# file it is about no longer fits.
# Usage: small-drive.sh setup|cleanup BUILD_DIR [SIZE]
# Mounting needs root (or a kernel that lets the user mount tmpfs); when the
# mount fails the script says so and exits 77, which CTest reports as a
# skipped test (SKIP_RETURN_CODE), and the cases that need the drive are
# skipped along with it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
action=$1
build=$(cd "$2" && pwd)
size=${3:-256k}
mnt="$build/wine/small-drive"
KR_BUILD=$build
. "$here/wine-env.sh"
link="$WINEPREFIX/dosdevices/r:"

unmount() {
    if mountpoint -q "$mnt" 2>/dev/null; then
        umount "$mnt" || umount -l "$mnt"
    fi
}

case "$action" in
setup)
    if [ ! -d "$WINEPREFIX/dosdevices" ]; then
        echo "small-drive: no Wine prefix in $build (run wine-fixture.sh start first)" >&2
        exit 1
    fi
    mkdir -p "$mnt"
    unmount
    if ! mount -t tmpfs -o "size=$size,mode=0755" kr-small-drive "$mnt" 2>"$build/wine/small-drive.err"; then
        echo "small-drive: cannot mount a tmpfs at $mnt: $(cat "$build/wine/small-drive.err")" >&2
        echo "small-drive: the disk-full cases are skipped (they need root)" >&2
        rm -f "$link"
        exit 77
    fi
    ln -sfn "$mnt" "$link"
    echo "small-drive: $size tmpfs at $mnt is drive R:"
    ;;
cleanup)
    rm -f "$link"
    unmount
    rmdir "$mnt" 2>/dev/null || true
    ;;
*)
    echo "usage: $0 setup|cleanup BUILD_DIR [SIZE]" >&2
    exit 2
    ;;
esac
