// Building the desktop layout's character table: from a compiled keymap (what a layout switch
// costs once the server's keymap is read), and with compiling the named layout from the
// system's XKB data first (a connection with the xkbLayout setting). The locale's compose table
// is loaded once per process, before the first iteration.
//
//   build/bench/character_table_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "platform/XkbCharacterTable.h"
#include "platform/XkbKeymap.h"

namespace scalino {
namespace {

const char* const kLayouts[] = {"us", "de", "fr", "ch(fr)", "fr(bepo)", "cz"};

// What the first table of a process pays once: loading the locale's compose table.
void BM_FirstComposeTableLoad(benchmark::State& state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(localeComposeTable());
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    for (auto _ : state)
        benchmark::DoNotOptimize(localeComposeTable());
    state.counters["first_load_ms"] = took.count();
}
// Registered first, so that it runs before anything has loaded the table.
BENCHMARK(BM_FirstComposeTableLoad)->Iterations(1);

void BM_BuildTable(benchmark::State& state) {
    const char* name = kLayouts[state.range(0)];
    const XkbKeymap keymap = XkbKeymap::compile(name);
    localeComposeTable();
    size_t characters = 0;
    for (auto _ : state) {
        const XkbCharacterTable table(keymap, 0);
        characters = table.size();
    }
    state.SetLabel(std::string(name) + ", " + std::to_string(characters) + " characters");
}
BENCHMARK(BM_BuildTable)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void BM_CompileAndBuildTable(benchmark::State& state) {
    const char* name = kLayouts[state.range(0)];
    localeComposeTable();
    for (auto _ : state) {
        const XkbKeymap keymap = XkbKeymap::compile(name);
        const XkbCharacterTable table(keymap, 0);
        benchmark::DoNotOptimize(table.size());
    }
    state.SetLabel(name);
}
BENCHMARK(BM_CompileAndBuildTable)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);


}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
