// Throughput of the per-line processing, and the heap allocations it makes per line.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "config/ConfigKeys.h"
#include "worker/LineAssembler.h"
#include "worker/LineProcessor.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// The counting operator new above allocates with malloc, so free is the matching release.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace scalino {
namespace {

Config weighingConfig() {
    Config config = defaultStoreConfig();
    for (auto [key, value] : {std::pair{"instrument", "AND_SIMPLE"},
                              {"inputTerminator", "10"},
                              {"decimalPlaces", "2"},
                              {"roundingMethod", "HALF_UP"},
                              {"mathOperation", "MULTIPLY"},
                              {"mathOperand", "1.0375"}}) {
        findConfigKey(key)->set(config, value);
    }
    return config;
}

// One typical weighing line, already assembled.
void BM_ProcessLine(benchmark::State& state) {
    const Config config = weighingConfig();
    LineProcessor processor(config, LineProcessor::Semantics::Plain, nullptr);
    const std::string line = "ST,+00012.34  g\r\n";
    processor.process(line);  // warm the reused buffers
    const long before = allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(processor.process(line));
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs/line"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ProcessLine);

// The same line arriving byte by byte, assembled and then processed, as the worker does it.
void BM_AssembleAndProcess(benchmark::State& state) {
    const Config config = weighingConfig();
    LineProcessor processor(config, LineProcessor::Semantics::Plain, nullptr);
    LineAssembler assembler('\n');
    const std::string bytes = "ST,+00012.34  g\r\n";
    for (auto _ : state) {
        for (char c : bytes) {
            if (assembler.push(static_cast<unsigned char>(c)) == LineAssembler::Push::Complete) {
                benchmark::DoNotOptimize(processor.process(assembler.line()));
                assembler.clear();
            }
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<long>(bytes.size()));
}
BENCHMARK(BM_AssembleAndProcess);

// A barcode line: extraction and editing only.
void BM_ProcessBarcode(benchmark::State& state) {
    Config config = defaultStoreConfig();
    findConfigKey("instrument")->set(config, "BARCODE_ALPHA_COMPLETE");
    LineProcessor processor(config, LineProcessor::Semantics::Barcode, nullptr);
    const std::string line = "4006381333931 LOT-2026/12\r";
    for (auto _ : state)
        benchmark::DoNotOptimize(processor.process(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProcessBarcode);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
