#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "bench.h"

namespace bench {

double CounterMs(long long counter) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return 1000.0 * static_cast<double>(counter) / static_cast<double>(frequency.QuadPart);
}

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterMs(now.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace bench

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int runs = argc > 2 ? atoi(argv[2]) : 0;
    if (mode == "startup" && argc == 6 && runs > 0)
        return bench::StartupBench(runs, {{"setup.exe", argv[3]},
                                          {"floor: minimal + manifest + OleInitialize", argv[4]},
                                          {"bare: minimal dialog program", argv[5]}});
    if (mode == "install" && argc == 4 && runs > 0)
        return bench::InstallBench(runs, argv[3]);
    fprintf(stderr,
            "usage: bench_driver startup RUNS SETUP.EXE FLOOR.EXE BARE.EXE\n"
            "       bench_driver install RUNS FLOOR.EXE   (KR_DIST: the distribution folder)\n");
    return 2;
}
