// Typing a 10-character value with no delay between key events through the Wayland virtual
// keyboard, into wev under a private headless Sway, as the tests do; beside typing_bench's XTest
// figures. The time runs until the compositor has handled every event (a round trip); what wev
// prints is checked outside the timing.
//
//   build/bench/wayland_typing_bench
#include <benchmark/benchmark.h>
#include <linux/input-event-codes.h>

#include <memory>
#include <string>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/SwayServer.h"
#include "platform/WaylandVirtualKeyboard.h"
#include "platform/WevRecorder.h"
#include "worker/Keybot.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;

struct Case {
    const char* layout;
    const char* text;
};

// A weight on the US layout; on de, characters that take AltGr and dead keys.
const Case kCases[] = {{"us", "-1234.5678"}, {"de", "a~b@c?d^e`"}};

// args: index into kCases
void BM_TypeTenCharactersWayland(benchmark::State& state) {
    const Case& c = kCases[state.range(0)];
    test::SwayServer sway(c.layout);
    if (!sway.failure().empty()) {
        state.SkipWithError(sway.failure().c_str());
        return;
    }
    test::WevRecorder receiver(sway);
    if (!receiver.failure().empty()) {
        state.SkipWithError(receiver.failure().c_str());
        return;
    }
    // The user's keyboard, whose keymap the typing keyboard takes over.
    const auto usersKeyboard = WaylandVirtualKeyboard::open(sway.socket(), c.layout);
    auto keyboard = WaylandVirtualKeyboard::open(sway.socket());
    WaylandVirtualKeyboard& sent = *keyboard;
    auto layout = keyboard->receiverLayout();
    DesktopKeyEvents keys(std::move(layout), std::move(keyboard));
    Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, KeyMapType::ALPHANUMERIC_COMPLETE, nullptr, keys);
    const std::string text = c.text;
    for (auto _ : state) {
        keybot.typeString(text);
        sent.sync();
        state.PauseTiming();
        sent.press(KEY_F12);
        sent.release(KEY_F12);
        const std::string received = receiver.takeUntil("F12");
        state.ResumeTiming();
        if (received != text) {
            state.SkipWithError(("received '" + received + "'").c_str());
            return;
        }
    }
    state.SetLabel(std::string("desktop ") + c.layout + " \"" + text + "\"");
}
BENCHMARK(BM_TypeTenCharactersWayland)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Connecting: the seat's keymap read, handed over and compiled for the desktop's layout, as a
// connection does at its start.
void BM_OpenVirtualKeyboard(benchmark::State& state) {
    test::SwayServer sway("de");
    if (!sway.failure().empty()) {
        state.SkipWithError(sway.failure().c_str());
        return;
    }
    const auto usersKeyboard = WaylandVirtualKeyboard::open(sway.socket(), "de");
    for (auto _ : state) {
        const auto keyboard = WaylandVirtualKeyboard::open(sway.socket());
        benchmark::DoNotOptimize(keyboard->receiverLayout()->characters().size());
    }
}
BENCHMARK(BM_OpenVirtualKeyboard)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
