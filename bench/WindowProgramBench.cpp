// The scalino program as a user runs it, under a private X server (Xvfb): how soon its window
// is on the screen after the start, how soon a value the balance sends is typed into the
// application that has the focus (and the same through `scalino-cli read --type`), and the
// memory the program holds after a day's lines.
//
//   build/bench/window_program_bench
//   build/bench/window_program_bench --benchmark_filter=StartUp
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "config/SettingsStore.h"
#include "platform/XInputRecorder.h"
#include "platform/XvfbServer.h"
#include "prefs/FilePreferencesFactory.h"
#include "prefs/Preferences.h"
#include "support/TempDir.h"

// Last: Xlib's macros (None, Status, ...) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace scalino {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using bench::Pty;
using bench::reading;
using bench::reportLatencies;
using bench::valueOf;

test::XvfbServer& server() {
    static test::XvfbServer instance;
    static const bool usLayout = instance.failure().empty() && instance.setLayout("us", "").empty();
    (void)usLayout;
    return instance;
}

int millisUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long>(0, left.count()));
}

// Writes the settings as a previous run would have left them; returns the file.
std::filesystem::path storeSettings(const test::TempDir& dir,
                                    const std::map<std::string, std::string>& settings) {
    const std::filesystem::path file = dir / "prefs.txt";
    FilePreferencesFactory store(file);
    Preferences& node = store.userRoot().node(kSettingsNodePath);
    for (const auto& [key, value] : settings)
        node.put(key, value);
    node.flush();
    return file;
}

// This process's environment with the private server as the only display.
std::vector<std::string> displayEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=") ||
            text.starts_with("QT_QPA_PLATFORM=") || text.starts_with("XDG_SESSION_TYPE=")) {
            continue;
        }
        environment.emplace_back(text);
    }
    environment.push_back("DISPLAY=" + server().display());
    environment.push_back("QT_QPA_PLATFORM=xcb");
    return environment;
}

// A program started on the private display with its outputs discarded; ended with SIGTERM.
class Program {
public:
    explicit Program(std::vector<std::string> argv) {
        std::vector<std::string> environment = displayEnvironment();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args, env;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        for (auto& e : environment)
            env.push_back(e.data());
        env.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // A field of /proc/PID/status in MiB ("VmRSS", "VmHWM"); 0 when it cannot be read.
    double memoryMiB(const std::string& field) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with(field + ":"))
                return std::stod(line.substr(field.size() + 1)) / 1024.0;  // in kB
        }
        return 0;
    }
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// An X client that sees top-level windows appear (SubstructureNotify on the root window) and
// reads the screen where they are, as a person would see them.
class ScreenWatcher {
public:
    explicit ScreenWatcher(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
        root_ = DefaultRootWindow(display_);
        XSelectInput(display_, root_, SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~ScreenWatcher() {
        if (bare_ != nullptr) XDestroyImage(bare_);
        XCloseDisplay(display_);
    }
    ScreenWatcher(const ScreenWatcher&) = delete;
    ScreenWatcher& operator=(const ScreenWatcher&) = delete;

    // Forgets the windows seen so far and takes the screen as it is without them.
    void reset() {
        XSync(display_, True);
        if (bare_ != nullptr) XDestroyImage(bare_);
        XWindowAttributes screen;
        XGetWindowAttributes(display_, root_, &screen);
        bare_ = XGetImage(display_, root_, 0, 0, static_cast<unsigned>(screen.width),
                          static_cast<unsigned>(screen.height), AllPlanes, ZPixmap);
    }

    // The next top-level window mapped (not a menu or tooltip); 0 when the deadline passed.
    Window awaitMap(Clock::time_point deadline) {
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MapNotify && event.xmap.event == root_ &&
                    !event.xmap.override_redirect) {
                    return event.xmap.window;
                }
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            if (poll(&fd, 1, millisUntil(deadline)) <= 0) return 0;
        }
    }

    // Waits until the row through the middle of the window shows, for most of its pixels,
    // something else than the bare screen: the program's first frame. False at the deadline.
    bool awaitPainted(Window window, Clock::time_point deadline) {
        XWindowAttributes where;
        if (XGetWindowAttributes(display_, window, &where) == 0) return false;
        const int left = std::max(0, where.x);
        const int right = std::min(bare_->width, where.x + where.width);
        const int y = std::clamp(where.y + where.height / 2, 0, bare_->height - 1);
        if (right <= left) return false;
        while (Clock::now() < deadline) {
            XImage* row = XGetImage(display_, root_, left, y, static_cast<unsigned>(right - left),
                                    1, AllPlanes, ZPixmap);
            int changed = 0;
            for (int x = left; x < right; ++x)
                changed += XGetPixel(row, x - left, 0) != XGetPixel(bare_, x, y);
            XDestroyImage(row);
            if (2 * changed > right - left) return true;
            std::this_thread::sleep_for(500us);
        }
        return false;
    }

private:
    Display* display_;
    Window root_ = 0;
    XImage* bare_ = nullptr;
};

// From the start of the program to its window on the screen: mapped, then drawn. The port is
// given on the command line (a pseudo-terminal) and the connection is manual, so nothing is
// listed, nothing opens and no dialog asks anything.
void BM_ProgramStartUp(benchmark::State& state) {
    if (!server().failure().empty()) {
        state.SkipWithError(server().failure().c_str());
        return;
    }
    const test::TempDir dir;
    const std::string settings = storeSettings(
        dir, {{"connect", "MANUAL"}, {"checkForUpdates", "false"}, {"minimizeToTray", "false"}});
    const Pty pty;
    ScreenWatcher screen(server().display());
    std::vector<double> mapped, drawn;
    for (auto _ : state) {
        screen.reset();
        const auto start = Clock::now();
        Program program({SCALINO_GUI, "--prefs", settings, pty.path});
        const Window window = screen.awaitMap(start + 30s);
        const auto mapTime = Clock::now();
        if (window == 0 || !screen.awaitPainted(window, start + 30s)) {
            state.SkipWithError("the window did not appear");
            return;
        }
        const auto drawTime = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(drawTime - start).count());
        mapped.push_back(std::chrono::duration<double, std::milli>(mapTime - start).count());
        drawn.push_back(std::chrono::duration<double, std::milli>(drawTime - start).count());
    }
    std::sort(mapped.begin(), mapped.end());
    std::sort(drawn.begin(), drawn.end());
    state.counters["mapped_median_ms"] = mapped[mapped.size() / 2];
    state.counters["mapped_max_ms"] = mapped.back();
    state.counters["drawn_median_ms"] = drawn[drawn.size() / 2];
    state.counters["drawn_max_ms"] = drawn.back();
}
BENCHMARK(BM_ProgramStartUp)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

// Settings of a connection that starts with the program: the A&D balance on the pseudo-terminal
// (named on the command line), every value typed on the US layout with no delay and nothing
// after it.
std::filesystem::path typingSettings(const test::TempDir& dir) {
    return storeSettings(dir, {{"instrument", "AND_SIMPLE"},
                               {"inputTerminator", "10"},
                               {"dataBits", "3"},
                               {"parity", "0"},
                               {"connect", "AUTO"},
                               {"delay", "0"},
                               {"keyboardType", "QUERTY"},
                               {"outputTerminator", "NONE"},
                               {"checkForUpdates", "false"},
                               {"minimizeToTray", "false"}});
}

// Collects what the focused client receives until it holds as much as expected; true when that
// is exactly expected.
bool awaitTyped(test::XInputRecorder& receiver, const std::string& expected,
                Clock::time_point deadline) {
    std::string received;
    while (received.size() < expected.size()) {
        pollfd fd{receiver.connectionFd(), POLLIN, 0};
        if (poll(&fd, 1, millisUntil(deadline)) <= 0) return false;
        received += receiver.take();
    }
    return received == expected;
}

// Sends readings until one is typed into the receiver: the program has connected.
bool awaitConnected(const Pty& pty, test::XInputRecorder& receiver) {
    for (int tries = 0; tries < 100; ++tries) {
        pty.send(reading(0));
        pollfd fd{receiver.connectionFd(), POLLIN, 0};
        if (poll(&fd, 1, 200) > 0 && !receiver.take().empty()) {
            std::this_thread::sleep_for(300ms);
            receiver.take();
            return true;
        }
    }
    return false;
}

// Times each reading from its terminator byte to the last character of its value typed into the
// focused client. The rest of the line goes first, so that only the terminator is timed.
void timeTyping(benchmark::State& state, const Pty& pty, test::XInputRecorder& receiver) {
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        const std::string line = reading(++i);
        pty.send(line.substr(0, line.size() - 1));
        std::this_thread::sleep_for(2ms);
        const auto start = Clock::now();
        pty.send("\n");
        if (!awaitTyped(receiver, valueOf(i), Clock::now() + 10s)) {
            state.SkipWithError("a value did not arrive as sent");
            return;
        }
        const std::chrono::duration<double, std::micro> took = Clock::now() - start;
        state.SetIterationTime(took.count() / 1e6);
        micros.push_back(took.count());
        std::this_thread::sleep_for(1ms);
    }
    reportLatencies(state, micros);
}

// The window started on the balance's port; the receiver takes the focus once the window is up.
struct TypingWindow {
    explicit TypingWindow(const Pty& pty)
        : screen(server().display()),
          program({SCALINO_GUI, "--prefs", typingSettings(dir).string(), pty.path}) {
        if (screen.awaitMap(Clock::now() + 30s) == 0) return;
        receiver = std::make_unique<test::XInputRecorder>(server().display());
        ready = awaitConnected(pty, *receiver);
    }
    test::TempDir dir;
    ScreenWatcher screen;
    Program program;
    std::unique_ptr<test::XInputRecorder> receiver;
    bool ready = false;
};

void BM_WindowTypingLatency(benchmark::State& state) {
    if (!server().failure().empty()) {
        state.SkipWithError(server().failure().c_str());
        return;
    }
    const Pty pty;
    TypingWindow window(pty);
    if (!window.ready) {
        state.SkipWithError("the window did not connect and type");
        return;
    }
    timeTyping(state, pty, *window.receiver);
}
BENCHMARK(BM_WindowTypingLatency)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CliTypingLatency(benchmark::State& state) {
    if (!server().failure().empty()) {
        state.SkipWithError(server().failure().c_str());
        return;
    }
    const Pty pty;
    const test::TempDir dir;
    test::XInputRecorder receiver(server().display());
    Program program({SCALINO_CLI, "read", "--prefs", typingSettings(dir).string(), "--port",
                     pty.path, "--type", "--keyboard", "x11"});
    if (!awaitConnected(pty, receiver)) {
        state.SkipWithError("scalino-cli did not connect and type");
        return;
    }
    timeTyping(state, pty, receiver);
}
BENCHMARK(BM_CliTypingLatency)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The window's resident memory once connected, then after range(0) lines shown in its log and
// typed, sent in batches of 100 as fast as they are typed.
void BM_WindowMemory(benchmark::State& state) {
    if (!server().failure().empty()) {
        state.SkipWithError(server().failure().c_str());
        return;
    }
    const int lines = static_cast<int>(state.range(0));
    constexpr int kBatch = 100;
    for (auto _ : state) {
        const Pty pty;
        TypingWindow window(pty);
        if (!window.ready) {
            state.SkipWithError("the window did not connect and type");
            return;
        }
        state.counters["rss_start_MiB"] = window.program.memoryMiB("VmRSS");
        const auto start = Clock::now();
        for (int first = 1; first <= lines; first += kBatch) {
            std::string batch, values;
            for (int i = first; i < first + kBatch && i <= lines; ++i) {
                batch += reading(i);
                values += valueOf(i);
            }
            pty.send(batch);
            if (!awaitTyped(*window.receiver, values, Clock::now() + 60s)) {
                state.SkipWithError("values did not arrive as sent");
                return;
            }
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["rss_after_MiB"] = window.program.memoryMiB("VmRSS");
        state.counters["rss_peak_MiB"] = window.program.memoryMiB("VmHWM");
        state.counters["lines/s"] = lines / seconds;
    }
}
BENCHMARK(BM_WindowMemory)
    ->Arg(10000)
    ->Arg(30000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
