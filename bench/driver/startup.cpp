// From CreateProcess to the dialog on screen: setup.exe against a program
// that shows one dialog and does nothing else, built the same way.
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

int StartupBench(int runs, const std::string& setupExe, const std::string& minimalExe) {
    const std::string* exes[2] = {&setupExe, &minimalExe};
    std::vector<double> times[2];
    int failures = 0;
    // Run -1 warms the prefix's caches up and is not counted; the order
    // alternates so that neither program always runs second.
    for (int run = -1; run < runs; run++) {
        for (int k = 0; k < 2; k++) {
            int which = (run + k) & 1;
            double ms = TimeToDialog(*exes[which]);
            if (ms < 0)
                failures++;
            else if (run >= 0)
                times[which].push_back(ms);
        }
    }
    printf("  (%d runs each, alternating, after one warm-up run each)\n", runs);
    printf("  setup.exe           %s\n", Summary(times[0]).c_str());
    printf("  minimal dialog      %s\n", Summary(times[1]).c_str());
    if (!times[0].empty() && !times[1].empty()) {
        // The fastest runs are the least disturbed by other load on the machine.
        double fastest[2];
        for (int k = 0; k < 2; k++)
            fastest[k] = *std::min_element(times[k].begin(), times[k].end());
        printf("  ratio setup/minimal %.2f of the medians, %.2f of the minimums\n",
               Median(times[0]) / Median(times[1]), fastest[0] / fastest[1]);
    }
    if (failures)
        printf("  %d start(s) showed no dialog within %lu ms\n", failures,
               static_cast<unsigned long>(e2e::kWaitMs));
    return 0;
}

} // namespace bench
