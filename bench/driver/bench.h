// The bench driver: a Windows console program that starts the programs it
// measures under Wine, as the end-to-end driver does, and prints figures.
// Figures only: nothing here passes or fails on a number.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Milliseconds from a fixed start (QueryPerformanceCounter), now or at a
// reading of the counter (the same in every process).
double NowMs();
double CounterMs(long long counter);
double Median(std::vector<double> values);

struct Program {
    const char* name; // as the report names it
    std::string exe;
};
// Starts each program `runs` times, in turn, and prints the medians of the
// time from CreateProcess to its dialog being visible; the first program
// (setup.exe) against each of the others.
int StartupBench(int runs, const std::vector<Program>& programs);
// Runs `runs` default installs with the dialog, as many silent ones and as
// many shell copies of the same files, each from a fresh copy of the
// distribution folder, and as many starts of the start-up floor program
// that end before its dialog; prints the medians, the dialog install's by
// step.
int InstallBench(int runs, const std::string& floorExe);

} // namespace bench
