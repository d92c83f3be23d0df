#!/bin/sh
# Prints the Debian archive this machine's apt takes its release from: the
# first enabled "deb" source, in either format of source list, that serves
# the release's own suite. A source list or a system that the scripts make
# names the same archive, so that a machine behind a local mirror or proxy
# keeps using it. Without such a source it prints Debian's own address.
# Usage: debian-mirror.sh [CODENAME]   (default: this machine's release)
set -eu
# shellcheck disable=SC1091
codename=${1:-$(. /etc/os-release && echo "$VERSION_CODENAME")}

one_line() {
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk -v suite="$codename" '$1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
            if ($(i + 1) == suite) { print $i; exit }
        }'
}

deb822() {
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] && cat "$list" && echo
    done | awk -v suite="$codename" 'BEGIN { RS = "" }
        {
            types = ""; uris = ""; suites = ""; enabled = "yes"
            n = split($0, lines, "\n")
            for (i = 1; i <= n; i++) {
                if (lines[i] ~ /^#/ || index(lines[i], ":") == 0) continue
                key = tolower(substr(lines[i], 1, index(lines[i], ":") - 1))
                value = substr(lines[i], index(lines[i], ":") + 1)
                if (key == "types") types = value
                else if (key == "uris") uris = value
                else if (key == "suites") suites = value
                else if (key == "enabled") enabled = value
            }
            if (types !~ /(^|[ \t])deb([ \t]|$)/ || enabled ~ /[Nn]o/) next
            m = split(suites, names, " ")
            for (j = 1; j <= m; j++)
                if (names[j] == suite) { split(uris, first, " "); print first[1]; exit }
        }'
}

mirror=$(one_line)
[ -n "$mirror" ] || mirror=$(deb822)
echo "${mirror:-http://deb.debian.org/debian}" | sed 's,/*$,,'
