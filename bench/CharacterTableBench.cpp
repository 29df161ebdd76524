// Building the desktop layout's character table: from a compiled keymap (what a layout switch
// costs once the server's keymap is read), and with compiling the named layout from the
// system's XKB data first (a connection with the xkbLayout setting). The locale's compose table
// is loaded once per process, before the first iteration.
//
//   build/bench/character_table_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/LayoutKeyEvents.h"
#include "platform/RecordingKeyboard.h"
#include "platform/XkbCharacterTable.h"
#include "platform/XkbKeymap.h"
#include "worker/Keybot.h"

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


// The typing engine's own cost for a 10-character value at delay 0, without a receiver: the key
// events go to a recording keyboard, once through the fixed table and once through the desktop's
// layout (arg 1) for the same layout. What an X server or the kernel adds is the same for both.
void BM_TypeTenCharactersRecorded(benchmark::State& state) {
    using ConfigHelper::KeyboardType;
    const KeyboardType types[] = {KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL,
                                  KeyboardType::AZERTY, KeyboardType::GERMAN};
    const char* const names[] = {"us", "us(intl)", "fr", "de"};
    const auto layout = static_cast<size_t>(state.range(0));
    const bool desktop = state.range(1) != 0;
    const std::string text = layout == 0 ? "-1234.5678" : "a~b@c?d^e`";
    auto keyboard = std::make_unique<test::RecordingKeyboard>();
    test::RecordingKeyboard& recorded = *keyboard;
    std::unique_ptr<KeyEventGenerator> keys;
    if (desktop) {
        keys = std::make_unique<DesktopKeyEvents>(
            std::make_unique<NamedDesktopLayout>(names[layout]), std::move(keyboard));
    } else {
        keys = std::make_unique<LayoutKeyEvents>(types[layout], std::move(keyboard));
    }
    Keybot keybot(0, 0, 0, desktop ? KeyboardType::DESKTOP : types[layout],
                  ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE, nullptr, *keys);
    for (auto _ : state) {
        keybot.typeString(text);
        state.PauseTiming();
        recorded.clear();
        state.ResumeTiming();
    }
    state.SetLabel(std::string(desktop ? "desktop " : "fixed ") + names[layout]);
}
BENCHMARK(BM_TypeTenCharactersRecorded)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
