# What each part of setup.exe costs, from the GNU ld map of its link: every
# input section that reached the executable, summed per output section for
# each object of app/ and support/, each runtime library, the resources, the
# base relocations and the linker's own fill. The rest of the file is the PE
# headers and the padding of each section to the file alignment.
#
# Usage: awk -v exe_size=BYTES -f mapsize.awk setup.map

function hex(s, i, c, n) {
    n = 0
    s = tolower(s)
    sub(/^0x/, "", s)
    for (i = 1; i <= length(s); i++) {
        c = index("0123456789abcdef", substr(s, i, 1))
        if (c == 0)
            return n
        n = n * 16 + c - 1
    }
    return n
}

# The part an input file belongs to; sets `member` ("library<TAB>object")
# for the objects of the runtime libraries.
function part(file, lib, obj) {
    member = ""
    if (file == "")
        return "linker (lists, fill)"
    if (file == "dll stuff")
        return "base relocations"
    if (file ~ /\.res\)?$/)
        return "resources"
    if (match(file, /lib(app|support)\.a\(/)) {
        lib = substr(file, RSTART + 3, RLENGTH - 6)
        obj = substr(file, RSTART + RLENGTH)
        sub(/\.cpp\.obj\)$/, ".o", obj)
        return lib "/" obj
    }
    if (match(file, /objects\.a\(/)) {
        obj = substr(file, RSTART + RLENGTH)
        sub(/\.cpp\.obj\)$/, ".o", obj)
        return "app/" obj
    }
    if (match(file, /[^\/]*\.a\(/)) {
        lib = substr(file, RSTART, RLENGTH - 1)
        obj = substr(file, RSTART + RLENGTH)
        sub(/\)$/, "", obj)
        sub(/^lib(32|64)_lib[a-z0-9_]*_a-/, "", obj)
        # Import libraries: one stub object per imported function.
        if (obj !~ /^lib.*(s[0-9]+|h|t)\.o$/)
            member = lib "\t" obj
        return lib
    }
    # The link-time optimiser's output: app/ and support/ as one unit.
    if (file ~ /ltrans[0-9]*\.ltrans\.o$/)
        return "app+support (LTO unit)"
    if (match(file, /[^\/]*\.o$/)) {
        member = "crt\t" substr(file, RSTART)
        return "crt (startup objects)"
    }
    return "linker (lists, fill)"
}

function add(file, size, p, col) {
    if (size == 0 || out == "")
        return
    p = part(file)
    col = out
    sub(/^\./, "", col)
    if (col !~ /^(text|rdata|data|bss|idata|eh_frame)$/)
        col = "other"
    sum[p, col] += size
    parts[p] = 1
    if (member != "")
        members[member] += size
}

function total(p) {
    return sum[p, "text"] + sum[p, "rdata"] + sum[p, "data"] + sum[p, "idata"] + sum[p, "eh_frame"] + sum[p, "other"]
}

function row(name, p) {
    printf "  %-26s %6d %6d %6d %6d %6d %6d %6d %7d\n", name, sum[p, "text"], sum[p, "rdata"],
        sum[p, "data"], sum[p, "bss"], sum[p, "idata"], sum[p, "eh_frame"], sum[p, "other"], total(p)
}

# Sorts keys[1..n]: by name when byName, else by descending value[].
function sortkeys(n, byName, i, j, k) {
    for (i = 2; i <= n; i++) {
        k = keys[i]
        for (j = i - 1; j >= 1; j--) {
            if (byName ? keys[j] <= k : value[keys[j]] >= value[k])
                break
            keys[j + 1] = keys[j]
        }
        keys[j + 1] = k
    }
}

# Adds part p into the group g (a subtotal row).
function group(g, p, c) {
    for (c in cols)
        sum[g, c] += sum[p, c]
}

BEGIN {
    split("text rdata data bss idata eh_frame other", names, " ")
    for (i in names)
        cols[names[i]] = 1
}

/^Linker script and memory map/ { inside = 1; next }
!inside { next }

# An output section: ".text  0x00401000  0x5a00" (or a name alone).
/^[.\/]/ {
    out = $1
    if (out == "/DISCARD/" || out ~ /^\.(z?debug|stab)/)
        out = ""
    pending = 0
    next
}

/^ \*fill\*/ { add("", hex($3)); next }

# An input section: " .text$x  ADDR SIZE FILE", or its name alone with the
# rest on the next line.
/^ [^ *]/ {
    if (NF >= 4 && $2 ~ /^0x/ && $3 ~ /^0x/) {
        f = $4
        for (i = 5; i <= NF; i++)
            f = f " " $i
        add(f, hex($3))
        pending = 0
    } else {
        pending = 1
    }
    next
}

/^ +0x/ {
    if (pending && NF >= 3 && $2 ~ /^0x/) {
        f = $3
        for (i = 4; i <= NF; i++)
            f = f " " $i
        add(f, hex($2))
    } else if (NF >= 3 && $2 ~ /^0x/ && $3 ~ /^(LONG|SHORT|BYTE|QUAD)$/) {
        add("", hex($2))
    }
    pending = 0
    next
}

END {
    printf "  %-26s %6s %6s %6s %6s %6s %6s %6s %7s\n", "part", ".text", ".rdata", ".data", ".bss",
        ".idata", ".eh_fr", "other", "bytes"
    n = 0
    for (p in parts)
        if (p ~ /^(app|support)[\/+]/)
            keys[++n] = p
    sortkeys(n, 1)
    for (i = 1; i <= n; i++) {
        row(keys[i], keys[i])
        g = keys[i]
        sub(/\/.*/, "", g)
        group("= " g " (own code)", keys[i])
        own += total(keys[i])
    }
    if (own > total("app+support (LTO unit)")) {
        row("= app (own code)", "= app (own code)")
        row("= support (own code)", "= support (own code)")
    }

    n = 0
    for (p in parts)
        if (p !~ /^(app|support)[\/+]/ && p !~ /^(resources|base relocations|linker)/) {
            keys[++n] = p
            value[p] = total(p)
            group("= C/C++ runtime and imports", p)
            runtime += total(p)
        }
    sortkeys(n, 0)
    for (i = 1; i <= n; i++)
        row(keys[i], keys[i])
    row("= C/C++ runtime and imports", "= C/C++ runtime and imports")
    rest = 0
    split("resources|base relocations|linker (lists, fill)", tail, "|")
    for (i = 1; i <= 3; i++) {
        row(tail[i], tail[i])
        rest += total(tail[i])
    }
    headers = exe_size - own - runtime - rest
    printf "  %-26s %6s %6s %6s %6s %6s %6s %6s %7d\n", "PE headers, file alignment", "", "", "", "",
        "", "", "", headers
    printf "  %-26s %6s %6s %6s %6s %6s %6s %6s %7d\n", "= setup.exe", "", "", "", "", "", "", "",
        exe_size
    print "  (other: .CRT, .tls, .rsrc, .reloc; .bss takes no file bytes)"

    n = 0
    for (m in members) {
        keys[++n] = m
        value[m] = members[m]
    }
    sortkeys(n, 0)
    line = "  Runtime objects linked (bytes):"
    for (i = 1; i <= n && i <= 8; i++) {
        split(keys[i], lm, "\t")
        line = line sprintf(" %s %d%s", lm[2], value[keys[i]], i < n && i < 8 ? "," : "")
    }
    print (n ? line : line " none")

    # The heavy parts a small Win32 program can pull in without noticing.
    heavy = 0
    start = total("crt (startup objects)") + total("libmingw32.a")
    if (start > 0) {
        printf "  HEAVY: mingw's startup code (crt2.o, libmingw32.a): %d bytes\n", start
        heavy++
    }
    for (m in members) {
        split(m, lm, "\t")
        if (lm[2] ~ /pformat|mingw_.*printf/) {
            printf "  HEAVY: mingw's own printf (%s): %d bytes\n", lm[2], members[m]
            heavy++
        }
        if (lm[1] ~ /^lib(stdc\+\+|supc\+\+)\.a$/) {
            printf "  HEAVY: libstdc++ piece %s: %d bytes\n", lm[2], members[m]
            heavy++
        }
        if (lm[1] == "libgcc_eh.a" || lm[2] ~ /^unwind/) {
            printf "  HEAVY: unwinder piece %s: %d bytes\n", lm[2], members[m]
            heavy++
        }
    }
    eh = 0
    for (p in parts)
        eh += sum[p, "eh_frame"]
    if (eh > 0) {
        printf "  HEAVY: %d bytes of unwind tables (.eh_frame) that no unwinder reads\n", eh
        heavy++
    }
    if (!heavy)
        print "  Heavy runtime parts: none (no startup code, mingw printf, libstdc++, unwinder or unwind tables)"
}
