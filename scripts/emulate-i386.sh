#!/bin/sh
# User-mode emulation of 32-bit x86 Linux programs, for kernels that refuse
# them (some virtual machines): there the 32-bit Wine loader, and so the
# 32-bit setup.exe, would not start at all.
#
#   emulate-i386.sh setup    as root: set it up when the kernel needs it;
#                            fast and changing nothing when it is in place
#                            or when the kernel runs 32-bit programs itself
#                            (KR_EMULATE_I386=1 sets it up even then)
#   emulate-i386.sh status   prints native, emulated or unavailable
#   emulate-i386.sh describe says so in words, for the reports of the tests
#                            and the figures
#   emulate-i386.sh remove   as root: undo the registration and the files
#   emulate-i386.sh restore STATUS
#                            as root: gives the machine back the state that
#                            status printed (STATUS), after a system made in
#                            a folder registered its own emulation here (the
#                            registration is the kernel's, one for every
#                            root): the machine's own when it was emulated,
#                            none otherwise
#
# What setup changes on the machine: qemu-user (on Debian 12 from its
# backports: its own 7.2 cannot run Wine) and gcc-multilib; there the source
# list /etc/apt/sources.list.d/kr-bookworm-backports.sources;
# /usr/local/lib/kr-i386/ (the interpreter wrapper and the trap-number
# repair library, built from scripts/i386-emu/); the binfmt_misc entry
# "kr-i386", which a reboot forgets and the next setup makes again.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
lib=/usr/local/lib/kr-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/kr-i386
# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
backports=/etc/apt/sources.list.d/kr-$codename-backports.sources
loader=/usr/lib/wine/wine

registered() {
    [ -f "$entry" ] && head -n 1 "$entry" | grep -qx enabled
}

loader_runs() {
    "$loader" --version >/dev/null 2>&1
}

# The sources of what goes into $lib, so that a changed source rebuilds it.
stamp() {
    cat "$here/i386-emu/trapfix.c" "$here/i386-emu/run-i386.c" | sha256sum | cut -c1-64
}

built() {
    [ -f "$lib/stamp" ] && [ "$(cat "$lib/stamp")" = "$(stamp)" ]
}

# Only qemu-user 8 or later runs Wine: Debian 13 has 10, Debian 12 has 7.2
# and 10 in its backports. A release whose own is too old gets it from its
# backports, through a source list that names this machine's own archive.
qemu_ok() {
    case $1 in
    1:[89].* | 1:[1-9][0-9].*) return 0 ;;
    *) return 1 ;;
    esac
}

keyring=/usr/share/keyrings/debian-archive-keyring.gpg
backports_list() {
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' \
        "$(sh "$here/debian-mirror.sh")" "$codename-backports"
    [ ! -f $keyring ] || echo "Signed-By: $keyring"
}

update() {
    apt-get -o DPkg::Lock::Timeout=600 update -qq
}

install_packages() {
    have=yes
    for pkg in qemu-user gcc-multilib; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || have=no
    done
    qemu_ok "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" || have=no
    [ $have = yes ] && return 0
    export DEBIAN_FRONTEND=noninteractive
    # The backports list is ours: one that no longer names this machine's
    # archive (its sources changed) is written anew, and one whose archive
    # serves no backports (a local mirror) goes again, since it would break
    # every later apt-get update of the machine.
    if [ -f "$backports" ] && [ "$(cat "$backports")" != "$(backports_list)" ]; then
        echo "emulate-i386: $backports is not the one for this machine's sources: writing it anew"
        backports_list >"$backports"
    fi
    if ! update; then
        [ -f "$backports" ] || exit 1
        rm -f "$backports"
        echo "emulate-i386: apt-get update failed with $backports: removed it, trying without" >&2
        update
    fi
    from=""
    candidate=$(apt-cache policy qemu-user | sed -n 's/^ *Candidate: //p')
    if ! qemu_ok "$candidate"; then
        suite=$codename-backports
        if [ ! -f "$backports" ]; then
            backports_list >"$backports"
            if ! update; then
                rm -f "$backports"
                echo "emulate-i386: apt-get update failed with $suite from $(sh "$here/debian-mirror.sh")" \
                    "(does that archive serve it?); $backports is removed again. $codename's own" \
                    "qemu-user (${candidate:-none}) cannot run Wine: name an archive with $suite" \
                    "in a source list and run this again" >&2
                exit 1
            fi
        fi
        from="-t $suite"
    fi
    echo "emulate-i386: installing qemu-user${from:+ ($suite)} and gcc-multilib"
    # shellcheck disable=SC2086
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
        $from qemu-user gcc-multilib >/dev/null
}

build_files() {
    built && return 0
    mkdir -p "$lib"
    gcc -m32 -O2 -Wall -Wextra -shared -fPIC -o "$lib/trapfix.so.new" "$here/i386-emu/trapfix.c" -ldl
    gcc -O2 -Wall -Wextra -static -o "$lib/run-i386.new" "$here/i386-emu/run-i386.c" \
        -DQEMU="\"$(command -v qemu-i386)\"" -DTRAPFIX="\"$lib/trapfix.so\""
    mv "$lib/trapfix.so.new" "$lib/trapfix.so"
    mv "$lib/run-i386.new" "$lib/run-i386"
    stamp >"$lib/stamp"
    # The entry holds the old wrapper open (flag F): register it anew.
    if [ -f "$entry" ]; then echo -1 >"$entry"; fi
}

register() {
    [ -d "$binfmt" ] || modprobe binfmt_misc 2>/dev/null || true
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    [ -f "$entry" ] && echo -1 >"$entry"
    # 32-bit little-endian ELF executables and shared objects for x86. P
    # hands the wrapper the program's own argv[0], F opens the wrapper now,
    # so that it is found from any mount namespace or root.
    printf '%s' ':kr-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$lib/run-i386"':PF' \
        >"$binfmt/register"
}

set_up() {
    if [ "$(id -u)" != 0 ]; then
        echo "emulate-i386: this kernel runs no 32-bit programs; run as root to set up their emulation" >&2
        exit 1
    fi
    install_packages
    build_files
    registered || register
    if ! loader_runs; then
        echo "emulate-i386: the 32-bit Wine loader still does not start under emulation" >&2
        exit 1
    fi
    echo "emulate-i386: 32-bit programs now run under $(qemu-i386 --version | head -n 1)"
}

case "${1:-status}" in
setup)
    if registered; then
        # In place since this boot: rebuild only what changed.
        built && exit 0
    elif [ -z "${KR_EMULATE_I386:-}" ] && loader_runs; then
        exit 0
    fi
    set_up
    ;;
restore)
    if [ "$(id -u)" != 0 ]; then
        echo "emulate-i386: restoring the registration needs root" >&2
        exit 1
    fi
    case ${2:-} in
    emulated)
        # The entry may hold the other system's wrapper open (flag F).
        if [ -f "$entry" ]; then echo -1 >"$entry"; fi
        set_up
        ;;
    native | unavailable)
        # What was registered since goes. binfmt_misc may be mounted only
        # where the other system mounted it: a mount namespace of its own
        # looks there and leaves this machine's mounts as they were, once
        # the mount it goes under is private there (one shared with the
        # machine would hand it on). Under a chroot into a plain folder /
        # is no mount point and cannot be made private (unshare
        # --propagation private fails there), but /proc can. Not a user
        # namespace: the binfmt_misc mounted there is one of its own (Linux
        # 6.7 on), and a chrooted process is refused one.
        # shellcheck disable=SC2016 # the inner script takes the folder as an argument
        unshare --mount --propagation unchanged sh -c '
            if [ ! -f "$1/register" ]; then
                mount --make-rprivate / 2>/dev/null || mount --make-rprivate /proc 2>/dev/null || exit 0
                mount -t binfmt_misc binfmt_misc "$1" 2>/dev/null || exit 0
            fi
            [ ! -f "$1/kr-i386" ] || echo -1 >"$1/kr-i386"' restore "$binfmt"
        ;;
    *)
        echo "usage: $0 restore native|emulated|unavailable" >&2
        exit 2
        ;;
    esac
    ;;
status)
    if registered; then
        echo emulated
    elif loader_runs; then
        echo native
    else
        echo unavailable
    fi
    ;;
describe)
    if registered; then
        echo "32-bit Wine, CPU emulated by $(qemu-i386 --version | sed -n '1s/ (.*//p')"
    elif loader_runs; then
        echo "32-bit Wine, native CPU"
    else
        echo "32-bit Wine does not start here"
    fi
    ;;
remove)
    [ -f "$entry" ] && echo -1 >"$entry"
    rm -rf "$lib"
    echo "emulate-i386: registration and $lib removed; the packages stay" \
        "(apt-get remove qemu-user gcc-multilib; rm $backports; apt-get update)"
    ;;
*)
    echo "usage: $0 setup|status|describe|remove|restore STATUS" >&2
    exit 2
    ;;
esac
