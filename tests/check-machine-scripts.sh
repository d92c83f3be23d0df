#!/bin/sh
# The scripts that change this machine, run against stand-ins of the
# commands that would change it:
#   - emulate-i386.sh, in a mount namespace where apt's source lists,
#     binfmt_misc and /usr/local/lib are scratch folders: a backports list
#     whose apt-get update fails is removed again, one left behind by an
#     earlier run too, and one that names another archive than the
#     machine's sources is written anew.
# Mounts, so needs root: without it, exits 77 (skipped).
# Usage: check-machine-scripts.sh WORK_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ]; then
    echo "check-machine-scripts: needs root (mounts); skipped"
    exit 77
fi
mkdir -p "$1"
work=$(cd "$1" && pwd -P)

unmount_all() {
    awk -v top="$work/" 'index($5, top) == 1 { print $5 }' /proc/self/mountinfo | sort -r |
        while read -r mnt; do umount -l "$mnt"; done
}
unmount_all
rm -rf --one-file-system "$work"
mkdir -p "$work/bin" "$work/log" "$work/keep"
trap 'unmount_all; rm -rf --one-file-system "$work"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
# The stand-ins record what they were asked here.
export KR_FAKE_LOG="$work/log"

# emulate-i386.sh where qemu-user is missing and the release's own is too
# old: apt-get's update fails while a list names an archive without
# backports (KR_FAKE_BACKPORTS=no) or one that does not exist.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
lists=/etc/apt/sources.list.d
case " $* " in
*" update "*)
    if grep -qs old.test $lists/*.sources; then exit 100; fi
    if [ "$KR_FAKE_BACKPORTS" = no ] && grep -qs backports $lists/*.sources; then exit 100; fi
    ;;
*" install "*) echo "$*" >"$KR_FAKE_LOG/install" && exit 1 ;;
esac
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho "  Candidate: 1:7.2+dfsg-7"\n' >"$work/bin/apt-cache"
chmod 755 "$work/bin/apt-get" "$work/bin/dpkg-query" "$work/bin/apt-cache"
# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
list=kr-$codename-backports.sources
# Initial list (none, as an earlier run left it, with another archive),
# KR_FAKE_BACKPORTS, whether the list is there afterwards, the message.
while IFS='|' read -r case archive backports kept message; do
    rm -f "$work/log/"*
    # shellcheck disable=SC2016 # the inner script takes its values as arguments
    out=$(KR_FAKE_BACKPORTS=$backports unshare --mount --propagation private sh -eu -c '
        PATH=$5:$PATH
        for dir in /etc/apt/sources.list.d /usr/local/lib /proc/sys/fs/binfmt_misc; do
            mount -t tmpfs kr-test "$dir"
        done
        [ ! -f /etc/apt/sources.list ] || mount --bind /dev/null /etc/apt/sources.list
        printf "Types: deb\nURIs: http://mirror.test/debian\nSuites: %s\nComponents: main\n" "$2" \
            >/etc/apt/sources.list.d/debian.sources
        if [ -n "$3" ]; then
            printf "Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\n" "$3" "$2" >"/etc/apt/sources.list.d/$4"
        fi
        code=0
        KR_EMULATE_I386=1 sh "$1/scripts/emulate-i386.sh" setup 2>&1 || code=$?
        echo "exit $code"
        cat "/etc/apt/sources.list.d/$4" 2>/dev/null || true
    ' check "$here/.." "$codename" "$archive" "$list" "$work/bin" 2>&1)
    echo "$out" | grep -q '^exit 1$' || fail "$case: emulate-i386.sh did not fail as it should: $out"
    echo "$out" | grep -q "$message" || fail "$case: no message '$message': $out"
    if [ "$kept" = yes ]; then
        echo "$out" | grep -q '^URIs: http://mirror.test/debian$' || fail "$case: the list was not written anew: $out"
        grep -q -- "-t $codename-backports" "$work/log/install" || fail "$case: qemu-user not installed from backports"
    elif echo "$out" | grep -q '^URIs:'; then
        fail "$case: the list stayed: $out"
    fi
done <<CASES
a mirror without backports||no|no|removed again
left by an earlier run|http://mirror.test/debian|no|no|removed again
another archive|http://old.test/debian|yes|yes|writing it anew
CASES

[ "$failed" = 0 ] && echo "machine scripts: all checks passed"
[ "$failed" = 0 ]
