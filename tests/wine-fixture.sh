#!/bin/sh
# Starts or stops what the Windows tests of a build need: an Xvfb display,
# the build's private 32-bit Wine prefix and its server. Idempotent.
# Usage: wine-fixture.sh start|stop BUILD_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
action=$1
build=$(cd "$2" && pwd)
state="$build/wine"
mkdir -p "$state/home"

xvfb_alive() {
    [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

case "$action" in
start)
    # Serialise concurrent starts of the same build.
    exec 9>"$state/lock"
    flock 9
    # KR_USE_DISPLAY: a real display is there (`make run` for real use).
    if [ -z "${KR_USE_DISPLAY:-}" ] && ! xvfb_alive; then
        rm -f "$state/display" "$state/display.tmp"
        # -displayfd picks a free display; its fds must not be the caller's,
        # or CTest would wait for Xvfb to close them.
        setsid Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$state/display.tmp" \
            </dev/null >"$state/xvfb.log" 2>&1 9>&- &
        echo $! >"$state/xvfb.pid"
        i=0
        while [ ! -s "$state/display.tmp" ] && [ $i -lt 100 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        echo ":$(cat "$state/display.tmp")" >"$state/display"
    fi
    KR_BUILD=$build
    . "$here/wine-env.sh"
    # The marker names the version of the settings below: a prefix made
    # with older settings is made anew.
    if [ ! -f "$WINEPREFIX/.kr-ready-2" ]; then
        rm -rf "$WINEPREFIX"
        "$WINE" wineboot -i </dev/null >"$state/wineboot.log" 2>&1 9>&-
        # Without a window manager Wine waits ~2 s whenever a top-level window
        # is destroyed; unmanaged windows skip that.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
        # A program that crashes ends at once instead of waiting in the
        # debugger's crash dialog, which no test would answer.
        "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
            </dev/null >/dev/null 2>&1 9>&- || true
        "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            </dev/null >/dev/null 2>&1 9>&-
        wineserver -w 9>&-
        touch "$WINEPREFIX/.kr-ready-2"
    fi
    # The title-bar buttons draw their symbols in Marlett. Debian's Wine does
    # not look for its own fonts (package fonts-wine) by itself: without the
    # font in the Windows font folder the close box shows an "r".
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        ln -sf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
    fi
    # Drive Q: is a scratch folder of the prefix, so that a drive root can
    # be an install destination.
    mkdir -p "$WINEPREFIX/drive_c/kr-drive-q"
    ln -sfn ../drive_c/kr-drive-q "$WINEPREFIX/dosdevices/q:"
    # A persistent server started here, detached: a server that a test's
    # wine started would hold the test's output pipes open.
    # (It says so and ends when one runs already.)
    setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    cat "$state/display"
    ;;
stop)
    if [ -d "$state/prefix" ]; then
        KR_BUILD=$build
        . "$here/wine-env.sh"
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        # A server whose prefix folder was made anew no longer answers -k:
        # end the Wine processes (not the scripts) that still run with it.
        for env in /proc/[0-9]*/environ; do
            pid=${env#/proc/}
            pid=${pid%/environ}
            case $(readlink "/proc/$pid/exe" 2>/dev/null) in
            /usr/lib/wine/* | */wine-preloader | */wine64-preloader) ;;
            *) continue ;;
            esac
            if tr "\\0" "\\n" <"$env" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
                kill -9 "$pid" 2>/dev/null || true
            fi
        done
    fi
    if xvfb_alive; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$state/xvfb.pid" "$state/display" "$state/display.tmp"
    ;;
*)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
