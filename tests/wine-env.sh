# Sourced by the test scripts: the environment of every Wine run of a build.
# Usage: KR_BUILD=BUILD_DIR; . tests/wine-env.sh
KR_BUILD=$(cd "$KR_BUILD" && pwd)
export WINEPREFIX="$KR_BUILD/wine/prefix"
# The build's architecture picks the prefix kind and the loader: a 64-bit
# test build runs under wine64 directly (the wine script would try the
# 32-bit loader first).
if [ "$(cat "$KR_BUILD/wine-arch" 2>/dev/null)" = x86_64 ]; then
    export WINEARCH=win64
    WINE=/usr/lib/wine/wine64
else
    export WINEARCH=win32
    WINE=wine
fi
export WINEDEBUG=-all
# Wine takes the ANSI code page from the locale and names Unix files in its
# character set: a Western UTF-8 locale (always there) gives code page 1252
# and file names in any script, whatever the caller's environment says.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A new prefix links the user's folders into $HOME: keep them in the build.
export HOME="$KR_BUILD/wine/home"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CONFIG_HOME="$HOME/.config"
if [ -z "${KR_USE_DISPLAY:-}" ] && [ -f "$KR_BUILD/wine/display" ]; then
    DISPLAY=$(cat "$KR_BUILD/wine/display")
    export DISPLAY
fi
