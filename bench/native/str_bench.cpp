// The string buffer and the formatter against the same work done with
// std::string, built natively with -O2. Each benchmark also reports the heap
// allocations per operation: malloc, calloc and realloc are counted here
// (operator new of libstdc++ allocates through malloc).
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "str.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
unsigned long long Allocations;
} // namespace

extern "C" {
void* malloc(size_t size) noexcept {
    Allocations++;
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    Allocations++;
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
    Allocations++;
    return __libc_realloc(block, size);
}
void free(void* block) noexcept {
    __libc_free(block);
}
}

void StrOutOfMemory() {
    abort();
}

namespace {

const char kFolder[] = "C:\\Program Files\\Kestrune 2";
const char kName[] = "Convert old macros.krl";
const char kEntry[] = "Samples2.krl\r\n";
const char kReplaced[] = "System.krl\r\nSamples2.krl\r\nConvert old macros.krl\r\n";
const char kCopied[] = "List.krl\r\n";
const char kReplacedHead[] =
    "Following files have been replaced (old files moved to Backup folder):\r\n";
const char kCopiedHead[] = "Following new files have been copied as \"Copy of...\":\r\n";

// Runs the loop and reports the allocations per iteration.
template <typename Body> void Measure(benchmark::State& state, Body body) {
    unsigned long long before = Allocations;
    for (auto _ : state)
        body();
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(Allocations - before),
                                                  benchmark::Counter::kAvgIterations);
}

// A list of file names grown one entry at a time, as the install's lists are.
void AppendStr(benchmark::State& state) {
    int64_t n = state.range(0);
    Measure(state, [n] {
        Str list;
        for (int64_t i = 0; i < n; i++)
            list.Append(kEntry);
        benchmark::DoNotOptimize(list.data);
    });
}

void AppendStd(benchmark::State& state) {
    int64_t n = state.range(0);
    Measure(state, [n] {
        std::string list;
        for (int64_t i = 0; i < n; i++)
            list.append(kEntry);
        benchmark::DoNotOptimize(list.data());
    });
}

// folder + "\\" + name
void PathStrConcat(benchmark::State& state) {
    Str folder;
    folder.Assign(kFolder);
    Measure(state, [&folder] {
        Str path;
        path.Concat(3, folder.data, folder.len, "\\", 1, kName, -1);
        benchmark::DoNotOptimize(path.data);
    });
}

void PathStrAppend(benchmark::State& state) {
    Str folder;
    folder.Assign(kFolder);
    Measure(state, [&folder] {
        Str path;
        path.AssignConcat(folder, "\\").Append(kName);
        benchmark::DoNotOptimize(path.data);
    });
}

void PathStd(benchmark::State& state) {
    std::string folder = kFolder;
    Measure(state, [&folder] {
        std::string path = folder + "\\" + kName;
        benchmark::DoNotOptimize(path.data());
    });
}

// "Can't create folder ~"
void MessageStr(benchmark::State& state) {
    Str dest;
    dest.Assign(kFolder);
    Measure(state, [&dest] {
        Str text;
        text.Format("Can't create folder ~", &dest);
        benchmark::DoNotOptimize(text.data);
    });
}

void MessageStd(benchmark::State& state) {
    std::string dest = kFolder;
    Measure(state, [&dest] {
        const char* format = "Can't create folder %s";
        std::string text;
        text.resize(static_cast<size_t>(snprintf(nullptr, 0, format, dest.c_str())));
        snprintf(&text[0], text.size() + 1, format, dest.c_str());
        benchmark::DoNotOptimize(text.data());
    });
}

// The summary after the copy phase: both sections.
void SummaryStr(benchmark::State& state) {
    Str replaced, copiedList;
    replaced.Assign(kReplaced);
    copiedList.Assign(kCopied);
    Measure(state, [&replaced, &copiedList] {
        Str text;
        text.Format("Following files have been replaced (old files moved to Backup "
                    "folder):\r\n~",
                    &replaced);
        Str copied;
        copied.Format("Following new files have been copied as \"Copy of...\":\r\n~", &copiedList);
        text.Append("\r\n");
        text.Append(copied);
        benchmark::DoNotOptimize(text.data);
    });
}

void SummaryStd(benchmark::State& state) {
    std::string replaced = kReplaced, copiedList = kCopied;
    Measure(state, [&replaced, &copiedList] {
        std::string text = kReplacedHead + replaced;
        std::string copied = kCopiedHead + copiedList;
        text += "\r\n";
        text += copied;
        benchmark::DoNotOptimize(text.data());
    });
}

} // namespace

// Names: "<work>/<implementation>", paired by the report.
BENCHMARK(AppendStr)->Name("append 10 names/Str")->Arg(10);
BENCHMARK(AppendStd)->Name("append 10 names/std::string")->Arg(10);
BENCHMARK(AppendStr)->Name("append 1000 names/Str")->Arg(1000);
BENCHMARK(AppendStd)->Name("append 1000 names/std::string")->Arg(1000);
BENCHMARK(PathStrConcat)->Name("path folder+\\+name/Str::Concat");
BENCHMARK(PathStrAppend)->Name("path folder+\\+name/Str AssignConcat+Append");
BENCHMARK(PathStd)->Name("path folder+\\+name/std::string +");
BENCHMARK(MessageStr)->Name("Can't create folder ~/Str::Format");
BENCHMARK(MessageStd)->Name("Can't create folder ~/std::string+snprintf");
BENCHMARK(SummaryStr)->Name("summary text/Str::Format+Append");
BENCHMARK(SummaryStd)->Name("summary text/std::string+append");

BENCHMARK_MAIN();
