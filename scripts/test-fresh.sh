#!/bin/sh
# `make test-fresh RELEASE=12|13`: the README's promise tried on a new
# machine. Makes a minimal Debian system of that release (debootstrap
# --variant=minbase, from this machine's own Debian archive) in
# build/fresh/<release>/, installs there only what the README says to
# install first (make, git), clones the current commit into it, runs
# `make test` there and prints the result. More arguments name other
# targets to make there after the clone instead (`make test-fresh
# RELEASE=13 TARGETS="test bench"`).
#
# The system made by debootstrap is kept (base/) and copied for each run
# (root/), so that every run starts from a fresh system without downloading
# one; the packages apt fetches are kept in apt-cache/ for the same reason.
# debootstrap and the run each live in a mount and process namespace of
# their own: their mounts (/proc, /sys, /dev, the cache, the repository)
# are never seen outside it, and the kernel removes them, and ends every
# process of the run, on any way out. An interrupt (INT, TERM, HUP) ends the
# run at once, and then this script by that signal. What only the kernel
# holds once, the registration of 32-bit emulation that the new system may
# make for itself, is given back to this machine on every way out. Needs
# root; works from a clone of another user too (sudo make test-fresh).
set -eu
cd "$(dirname "$0")/.."
src=$(pwd -P)

case "${1:-}" in
12 | bookworm) release=12 codename=bookworm ;;
13 | trixie) release=13 codename=trixie ;;
*)
    echo "usage: make test-fresh RELEASE=12|13 (or bookworm, trixie)" >&2
    exit 2
    ;;
esac
shift
targets=${*:-test}
if [ "$(id -u)" != 0 ]; then
    echo "test-fresh: debootstrap, chroot and the mounts need root" >&2
    exit 1
fi
for tool in debootstrap unshare; do
    if ! command -v $tool >/dev/null; then
        echo "test-fresh: installing $tool"
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
            --no-install-recommends debootstrap util-linux >/dev/null
    fi
done

# The clone may be another user's (sudo make test-fresh in one's own clone):
# git refuses to work in a repository that root does not own unless it is
# named safe. Root runs this clone's scripts anyway. Nor may the index be
# written anew: it would become root's file.
git() {
    command git --no-optional-locks -c safe.directory="$src" "$@"
}

dir=$src/build/fresh/$codename
mkdir -p "$dir/apt-cache/partial"
exec 9>"$dir/lock"
if ! flock -n 9; then
    echo "test-fresh: another run of Debian $release is using $dir" >&2
    exit 1
fi

# The mount points under $1, deepest first. /proc/self/mountinfo writes a
# blank, a tab, a line break and a backslash in a path as octal escapes.
mounts_under() {
    awk -v top="$1" '{
        p = $5
        path = ""
        while ((i = index(p, "\\")) > 0) {
            path = path substr(p, 1, i - 1) \
                sprintf("%c", substr(p, i + 1, 1) * 64 + substr(p, i + 2, 1) * 8 + substr(p, i + 3, 1))
            p = substr(p, i + 4)
        }
        path = path p
        if (path == top || index(path, top "/") == 1)
            print path
    }' /proc/self/mountinfo | sort -r
}

# Removes a system made here. A debootstrap that an earlier version of this
# script ran in this machine's own namespace and that was killed left /proc
# and /sys mounted in its target: whatever is mounted below is unmounted
# first, and rm never crosses a mount point (a bind mount of this file
# system would look like the same one to rm --one-file-system).
remove_system() {
    mounts_under "$1" | while IFS= read -r mnt; do
        echo "test-fresh: unmounting $mnt, left by an earlier run"
        umount "$mnt" || umount -l "$mnt" || true
    done
    if [ -n "$(mounts_under "$1")" ]; then
        echo "test-fresh: still mounted under $1, not removed:" >&2
        mounts_under "$1" >&2
        exit 1
    fi
    rm -rf --one-file-system "$1"
}

# The command after the log file, in the background, in a mount and process
# namespace of its own, waited for so that a signal to this script is
# handled at once (and what the traps say is not written to the log).
child=
isolated() {
    log=$1
    shift
    unshare --mount --propagation private --pid --fork --kill-child "$@" </dev/null >"$log" 2>&1 &
    child=$!
    code=0
    wait "$child" || code=$?
    child=
    return $code
}

# Ends the namespace at once: its first process, killed, takes every other
# one with it, and unshare, waiting for it, then ends too.
# shellcheck disable=SC2317 # called by the traps
stop_child() {
    [ -n "$child" ] || return 0
    first=$(cat "/proc/$child/task/$child/children" 2>/dev/null || true)
    # shellcheck disable=SC2086 # a list of process ids
    kill -KILL ${first:-$child} 2>/dev/null || true
    wait "$child" 2>/dev/null || true
    child=
}

# 32-bit emulation is registered with the kernel, once for every root: a
# run may register the new system's own. What `emulate-i386.sh status` said
# before the run, while the machine may be owed its own registration back.
emulation=
restore_emulation() {
    [ -n "$emulation" ] || return 0
    code=0
    sh scripts/emulate-i386.sh restore "$emulation" || code=$?
    if [ $code != 0 ]; then
        echo "test-fresh: this machine's 32-bit emulation ($emulation before the run) was not restored:" \
            "run scripts/emulate-i386.sh restore $emulation as root" >&2
    fi
    emulation=
    return $code
}

# On every way out. dash runs no EXIT trap when a signal ends it: each
# signal cleans up, then ends the script by itself again, so that the
# caller sees the signal.
trap 'stop_child; restore_emulation' EXIT
for sig in HUP INT TERM; do
    # shellcheck disable=SC2064 # the signal's name now
    trap "echo 'test-fresh: interrupted ($sig)' >&2; stop_child; restore_emulation; trap - $sig EXIT; kill -$sig \$\$" $sig
done

if [ ! -f "$dir/base/.complete" ]; then
    mirror=$(sh scripts/debian-mirror.sh "$codename")
    echo "test-fresh: making a minimal Debian $release ($codename) system from $mirror"
    remove_system "$dir/base"
    # /proc of its own: the new process namespace's.
    isolated "$dir/debootstrap.log" --mount-proc \
        debootstrap --variant=minbase "$codename" "$dir/base" "$mirror" || {
        tail -n 20 "$dir/debootstrap.log" >&2
        echo "test-fresh: debootstrap failed (whole log: $dir/debootstrap.log)" >&2
        exit 1
    }
    touch "$dir/base/.complete"
fi

commit=$(git rev-parse HEAD)
git_dir=$(cd "$(git rev-parse --git-common-dir)" && pwd)
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "test-fresh: note: uncommitted changes are not part of the run, only $commit"

remove_system "$dir/root"
cp -a "$dir/base" "$dir/root"
cp /etc/resolv.conf "$dir/root/etc/resolv.conf"
mkdir -p "$dir/root/mnt/origin.git"

# What a new user does on the new machine, as root, with a plain
# environment: the first step the README gives, the clone, the test. The
# repository mounted there may belong to another user: for the clone alone
# (which reads its source in a process of its own, where only a global
# setting counts) it is named safe.
cat >"$dir/root/fresh-run.sh" <<EOF
set -eu
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq make git >/dev/null
printf '[safe]\\n\\tdirectory = /mnt/origin.git\\n' >/mnt/origin.gitconfig
GIT_CONFIG_GLOBAL=/mnt/origin.gitconfig git clone -q /mnt/origin.git /root/kestrune-2-setup
cd /root/kestrune-2-setup
git checkout -q $commit
make $targets
EOF

echo "test-fresh: Debian $release ($codename): make $targets of $(git log -1 --format='%h %s' | cut -c1-60)"
echo "test-fresh: log in $dir/test.log"
emulation=$(sh scripts/emulate-i386.sh status)
start=$(date +%s)
status=0
# shellcheck disable=SC2016 # the inner script takes its paths as arguments
isolated "$dir/test.log" sh -eu -c '
    root=$1
    # Its root a mount point, as on a machine: unshare --propagation, for
    # one, needs that.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    # Where this machine emulates 32-bit programs, the system sees the
    # registration, as its bootstrap and its reports must.
    if [ -f /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc"
    fi
    mount --bind "$2" "$root/var/cache/apt/archives"
    mount --bind "$3" "$root/mnt/origin.git"
    mount -o remount,bind,ro "$root/mnt/origin.git"
    exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin sh /fresh-run.sh
' fresh "$dir/root" "$dir/apt-cache" "$git_dir" || status=$?
seconds=$(($(date +%s) - start))
restored=yes
restore_emulation || restored=no

tail -n 15 "$dir/test.log"
summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$dir/test.log" | tail -n 1)
if [ $status = 0 ]; then
    echo "test-fresh: Debian $release ($codename) passed: ${summary:-make $targets succeeded} ($seconds s in all)"
else
    echo "test-fresh: Debian $release ($codename) FAILED, exit $status: ${summary:-see $dir/test.log} ($seconds s in all)"
fi
if [ $restored = no ]; then
    echo "test-fresh: FAILED to give this machine its 32-bit emulation back (see above)" >&2
    [ $status != 0 ] || status=1
fi
exit $status
