// From CreateProcess to the dialog on screen: setup.exe against programs
// that show one dialog and do little else, built the same way.
#include <windows.h>

#include <stdio.h>

#include <algorithm>

#include "bench.h"
#include "driver.h"

namespace bench {
namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Milliseconds until the program's dialog is visible, or -1. The dialog is
// then cancelled and the program's end awaited, so that the next start
// finds no instance (setup.exe allows one).
double TimeToDialog(const std::string& exe) {
    e2e::Process program;
    double start = NowMs();
    if (!program.Start(exe, "", FolderOf(exe)))
        return -1;
    HWND dialog;
    // One pass over the windows per millisecond: the 20 ms steps of
    // WaitWindow would blur the figure.
    while (!(dialog = program.WaitWindow("#32770", nullptr, 0))) {
        if (NowMs() - start > e2e::kWaitMs || !program.Running())
            return -1;
        Sleep(1);
    }
    double ms = NowMs() - start;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    if (!program.Wait(e2e::kWaitMs, nullptr))
        program.Kill();
    return ms;
}

} // namespace

int StartupBench(int runs, const std::vector<Program>& programs) {
    size_t n = programs.size();
    std::vector<std::vector<double>> times(n);
    int failures = 0;
    // Run -1 warms the prefix's caches up and is not counted; the order
    // turns with each run so that no program always follows the same one.
    for (int run = -1; run < runs; run++) {
        for (size_t k = 0; k < n; k++) {
            size_t which = (static_cast<size_t>(run + 1) + k) % n;
            double ms = TimeToDialog(programs[which].exe);
            if (ms < 0)
                failures++;
            else if (run >= 0)
                times[which].push_back(ms);
        }
    }
    printf("  (%d runs each, in turn, after one warm-up run each; ms)\n", runs);
    printf("  %-44s %7s %7s %7s  %s\n", "program", "median", "min", "max",
           "setup.exe/it: medians, minimums");
    for (size_t k = 0; k < n; k++) {
        const std::vector<double>& t = times[k];
        if (t.empty()) {
            printf("  %-44s no dialog shown\n", programs[k].name);
            continue;
        }
        double low = *std::min_element(t.begin(), t.end());
        printf("  %-44s %7.1f %7.1f %7.1f", programs[k].name, Median(t), low,
               *std::max_element(t.begin(), t.end()));
        // The fastest runs are the least disturbed by other load on the machine.
        if (k > 0 && !times[0].empty())
            printf("  %.2f, %.2f", Median(times[0]) / Median(t),
                   *std::min_element(times[0].begin(), times[0].end()) / low);
        printf("\n");
    }
    if (failures)
        printf("  %d start(s) showed no dialog within %lu ms\n", failures,
               static_cast<unsigned long>(e2e::kWaitMs));
    return 0;
}

} // namespace bench
