// Typing a 10-character value with no delay between key events, through XTest into a private
// X server (Xvfb) with a window that receives the keys through an input method. The time runs
// until the server has handled every event; reading them in the receiver is not counted.
//
//   build/bench/typing_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/KeyLayout.h"
#include "platform/LayoutKeyEvents.h"
#include "platform/XInputRecorder.h"
#include "platform/X11DesktopLayout.h"
#include "platform/XTestKeyboard.h"
#include "platform/XvfbServer.h"
#include "worker/Keybot.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;

test::XvfbServer& server() {
    static test::XvfbServer instance;
    return instance;
}

// The key events for a layout on the server's display: the fixed table or the desktop's layout
// reading the server's keymap.
using KeysFactory = std::unique_ptr<KeyEventGenerator> (*)(KeyboardType type,
                                                           std::unique_ptr<XTestKeyboard> keyboard);

std::unique_ptr<KeyEventGenerator> fixedTable(KeyboardType type,
                                              std::unique_ptr<XTestKeyboard> keyboard) {
    return std::make_unique<LayoutKeyEvents>(type, std::move(keyboard));
}

std::unique_ptr<KeyEventGenerator> desktopLayout(KeyboardType,
                                                 std::unique_ptr<XTestKeyboard> keyboard) {
    return std::make_unique<DesktopKeyEvents>(X11DesktopLayout::open(server().display()),
                                              std::move(keyboard));
}

// args: keyboard type (ordinal) whose layout the server has
void typeTenCharacters(benchmark::State& state, KeysFactory makeKeys, KeyboardType typedAs) {
    const auto type = static_cast<KeyboardType>(state.range(0));
    // A weight on the US layout; on the others, characters that take AltGr, Alt codes and
    // dead keys.
    const std::string text = type == KeyboardType::QUERTY ? "-1234.5678" : "a~b@c?d^e`";
    if (!server().failure().empty()) {
        state.SkipWithError(server().failure().c_str());
        return;
    }
    const KeyLayout& layout = KeyLayout::of(type);
    if (!server().setLayout(layout.xkbLayout(), layout.xkbVariant()).empty()) {
        state.SkipWithError("setxkbmap failed");
        return;
    }
    test::XInputRecorder receiver(server().display());
    auto keyboard = XTestKeyboard::open(server().display());
    XTestKeyboard& sent = *keyboard;
    const auto keys = makeKeys(type, std::move(keyboard));
    Keybot keybot(0, 0, 0, typedAs, KeyMapType::ALPHANUMERIC_COMPLETE, nullptr, *keys);
    for (auto _ : state) {
        keybot.typeString(text);
        sent.sync();
        state.PauseTiming();
        const std::string received = receiver.take();
        state.ResumeTiming();
        if (received != text) {
            state.SkipWithError(("received '" + received + "'").c_str());
            return;
        }
    }
    state.SetLabel(std::string(typedAs == KeyboardType::DESKTOP ? "desktop " : "") +
                   layout.name() + " \"" + text + "\"");
}

void BM_TypeTenCharacters(benchmark::State& state) {
    typeTenCharacters(state, fixedTable, static_cast<KeyboardType>(state.range(0)));
}
BENCHMARK(BM_TypeTenCharacters)
    ->Arg(static_cast<int>(KeyboardType::QUERTY))
    ->Arg(static_cast<int>(KeyboardType::US_INTERNATIONAL))
    ->Arg(static_cast<int>(KeyboardType::AZERTY))
    ->Arg(static_cast<int>(KeyboardType::GERMAN))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same values through the desktop's layout, which looks every character up in the server's
// live keymap (and polls for a layout change before each), on the same four layouts.
void BM_TypeTenCharactersDesktop(benchmark::State& state) {
    typeTenCharacters(state, desktopLayout, KeyboardType::DESKTOP);
}
BENCHMARK(BM_TypeTenCharactersDesktop)
    ->Arg(static_cast<int>(KeyboardType::QUERTY))
    ->Arg(static_cast<int>(KeyboardType::US_INTERNATIONAL))
    ->Arg(static_cast<int>(KeyboardType::AZERTY))
    ->Arg(static_cast<int>(KeyboardType::GERMAN))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Reading the server's keymap and building its character table, as a connection with the
// desktop's layout does at start and after every layout switch.
void BM_ReadServerLayout(benchmark::State& state) {
    if (!server().failure().empty() || !server().setLayout("de", "").empty()) {
        state.SkipWithError("no server with the de layout");
        return;
    }
    for (auto _ : state) {
        const auto layout = X11DesktopLayout::open(server().display());
        benchmark::DoNotOptimize(layout->characters().size());
    }
}
BENCHMARK(BM_ReadServerLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
