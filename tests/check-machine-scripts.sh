#!/bin/sh
# The scripts that change this machine, run against stand-ins of the
# commands that would change it:
#   - test-fresh.sh, in a copy of the tree: a system that a killed
#     debootstrap left with file systems mounted in it is removed only after
#     they are unmounted, and what a mount there shows stays; this machine's
#     32-bit emulation is given back as `emulate-i386.sh status` found it
#     after a run and after an interrupted one (INT, TERM, HUP end the run
#     at once, then the script by that signal), and a failed restore fails
#     the run and says so;
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

# A tree of test-fresh.sh whose emulate-i386.sh reports $KR_FAKE_EMULATION
# and records each restore (failing it when KR_FAKE_RESTORE=fail).
tree=$work/tree
mkdir -p "$tree/scripts"
cp "$here/../scripts/test-fresh.sh" "$here/../scripts/debian-mirror.sh" "$tree/scripts/"
cat >"$tree/scripts/emulate-i386.sh" <<'EOF'
case $1 in
status) echo "$KR_FAKE_EMULATION" ;;
restore) echo "$2" >>"$KR_FAKE_LOG/restored" && [ "${KR_FAKE_RESTORE:-}" != fail ] ;;
esac
EOF
git -C "$tree" init -q
git -C "$tree" add -A
git -C "$tree" -c user.name=t -c user.email=t@t commit -qm tree
# unshare runs debootstrap, which makes a system of three folders, or the
# run, which passes, or (KR_FAKE_RUN=wait) records its process, waits for
# it and then how it ended.
cat >"$work/bin/unshare" <<'EOF'
#!/bin/sh
while :; do
    case $1 in
    --propagation) shift 2 ;;
    --*) shift ;;
    *) break ;;
    esac
done
case $1 in
debootstrap) mkdir -p "$4/etc" "$4/proc" "$4/sys" ;;
sh)
    [ "${KR_FAKE_RUN:-}" = wait ] || exit 0
    sleep 30 &
    echo $! >"$KR_FAKE_LOG/run"
    wait $!
    echo $? >"$KR_FAKE_LOG/run.end"
    ;;
esac
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/debootstrap"
chmod 755 "$work/bin/unshare" "$work/bin/debootstrap"

fresh() {
    rm -f "$work/log/"*
    PATH=$work/bin:$PATH sh "$tree/scripts/test-fresh.sh" 13 >"$work/log/out" 2>&1
}

# The system left by a killed debootstrap: its /proc a file system of its
# own, its /sys a folder of this machine mounted there.
base=$tree/build/fresh/trixie/base
mkdir -p "$base/proc" "$base/sys"
mount -t tmpfs kr-test "$base/proc"
touch "$base/proc/1" "$work/keep/file"
mount --bind "$work/keep" "$base/sys"
code=0
KR_FAKE_EMULATION=emulated fresh || code=$?
[ $code = 0 ] || fail "test-fresh after a killed debootstrap: exit $code: $(cat "$work/log/out")"
[ -f "$work/keep/file" ] || fail "removing the old system removed what a mount showed there"
if [ ! -f "$base/.complete" ] || [ ! -d "$base/etc" ]; then fail "no new system was made"; fi
[ -z "$(awk -v top="$tree/" 'index($5, top) == 1' /proc/self/mountinfo)" ] ||
    fail "still mounted: $(awk -v top="$tree/" 'index($5, top) == 1 { print $5 }' /proc/self/mountinfo)"
[ "$(cat "$work/log/restored" 2>/dev/null)" = emulated ] ||
    fail "after a run the emulation was restored as '$(cat "$work/log/restored" 2>/dev/null)', not 'emulated'"

code=0
KR_FAKE_EMULATION=native KR_FAKE_RESTORE=fail fresh || code=$?
[ $code != 0 ] || fail "a failed restore of the emulation ended test-fresh with 0"
grep -q 'not restored' "$work/log/out" || fail "a failed restore is not reported: $(cat "$work/log/out")"

# Interrupted while the run goes on. A job of a script ignores INT unless
# told otherwise.
for sig in INT:130 TERM:143 HUP:129; do
    rm -f "$work/log/"*
    KR_FAKE_EMULATION=native KR_FAKE_RUN=wait PATH=$work/bin:$PATH \
        env --default-signal=INT sh "$tree/scripts/test-fresh.sh" 13 >"$work/log/out" 2>&1 &
    pid=$!
    i=0
    while [ ! -s "$work/log/run" ] && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    kill -"${sig%:*}" $pid 2>/dev/null || true
    code=0
    wait $pid 2>/dev/null || code=$? # (the shell's own note of the signal)
    [ $code = "${sig#*:}" ] || fail "$sig: test-fresh ended with $code: $(cat "$work/log/out")"
    grep -q "interrupted (${sig%:*})" "$work/log/out" || fail "$sig: not reported: $(cat "$work/log/out")"
    ! kill -0 "$(cat "$work/log/run")" 2>/dev/null || fail "$sig: the run goes on"
    [ "$(cat "$work/log/run.end" 2>/dev/null)" != 0 ] || fail "$sig: the run was not ended, it finished"
    [ "$(cat "$work/log/restored" 2>/dev/null)" = native ] ||
        fail "$sig: the emulation was restored as '$(cat "$work/log/restored" 2>/dev/null)', not 'native'"
done

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
# The scratch folders are mounted in a mount namespace of the check's own,
# once the mounts they go on are private there: one shared with the machine
# (systemd shares them all) would hand them on to it, to stay there after
# the namespace. In a chroot into a plain folder (a new system entered by
# hand) / is no mount point but a folder in a mount of the machine, which
# cannot be made private from inside (unshare --propagation private fails
# there); nor does the kernel give a chrooted process a user namespace,
# whose copies of shared mounts would be slaves. There the tree is bound
# anew in a private spot, a tmpfs on /proc's binfmt_misc folder (which gets
# a scratch one anyway), and entered: a root that is a private mount point.
# shellcheck disable=SC2016 # the command comes as arguments
private_root='
    if mount --make-rprivate / 2>/dev/null; then exec "$@"; fi
    mount --make-rprivate /proc
    root=/proc/sys/fs/binfmt_misc
    mount -t tmpfs kr-root $root
    mkdir $root/root
    mount --rbind / $root/root
    mount --make-rprivate $root/root
    exec chroot $root/root "$@"'
# Initial list (none, as an earlier run left it, with another archive),
# KR_FAKE_BACKPORTS, whether the list is there afterwards, the message.
while IFS='|' read -r case archive backports kept message; do
    rm -f "$work/log/"*
    # shellcheck disable=SC2016 # the inner scripts take their values as arguments
    out=$(KR_FAKE_BACKPORTS=$backports unshare --mount --propagation unchanged sh -eu -c "$private_root" \
        private-root sh -eu -c '
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
    ' check "$here/.." "$codename" "$archive" "$list" "$work/bin" 2>&1) || true # judged below
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
