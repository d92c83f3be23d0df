# Turns the CSV of str_bench (medians of repetitions) into one table: each
# work with its implementations, the std::string one as the reference.
# Names are "<work>/<implementation>[/<argument>]_median".

BEGIN { FS = "," }

/_median",/ {
    name = $0
    sub(/^"/, "", name)
    sub(/_median".*/, "", name)
    sub(/\/[0-9]+$/, "", name)
    rest = $0
    sub(/^"[^"]*",/, "", rest)
    n = split(rest, f, ",")
    slash = 0
    for (i = length(name); i > 0; i--)
        if (substr(name, i, 1) == "/") {
            slash = i
            break
        }
    work = substr(name, 1, slash - 1)
    impl = substr(name, slash + 1)
    if (!(work in seen)) {
        seen[work] = 1
        works[++nw] = work
    }
    k = ++count[work]
    impls[work, k] = impl
    ns[work, k] = f[3] * (f[4] == "us" ? 1000 : f[4] == "ms" ? 1000000 : 1)
    allocs[work, k] = f[n]
    if (impl ~ /^std::string/)
        reference[work] = ns[work, k]
}

END {
    printf "  %-24s %-28s %9s %7s %7s\n", "work", "implementation", "ns/op", "allocs", "vs std"
    for (w = 1; w <= nw; w++) {
        work = works[w]
        for (k = 1; k <= count[work]; k++) {
            ratio = ""
            if (impls[work, k] !~ /^std::string/ && reference[work] > 0)
                ratio = sprintf("%.2f", ns[work, k] / reference[work])
            line = sprintf("  %-24s %-28s %9.1f %7.1f", k == 1 ? work : "", impls[work, k],
                           ns[work, k], allocs[work, k])
            print line (ratio == "" ? "" : sprintf(" %7s", ratio))
        }
    }
}
