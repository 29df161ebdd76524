// The desktop window in this process, on Qt's offscreen platform unless QT_QPA_PLATFORM names
// another: what one received line costs a full event log, and how late the window handles its
// events while a balance sends. Painting offscreen is Qt's own raster painting without an X
// server behind it.
//
//   build/bench/window_bench
//   build/bench/window_bench --benchmark_filter=EventLog
//   QT_QPA_PLATFORM=xcb DISPLAY=:0 build/bench/window_bench     (painting to a real X server)
#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "config/SettingsStore.h"
#include "platform/NativeLibrary.h"
#include "prefs/FilePreferencesFactory.h"
#include "prefs/Preferences.h"
#include "scalino/EventLogPanel.h"
#include "scalino/EventLogText.h"
#include "scalino/VozevuZaDezFrame2.h"
#include "support/TempDir.h"
#include "worker/RecordingKeyEvents.h"

namespace scalino {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using bench::reading;
using bench::reportLatencies;
using bench::valueOf;

double microsSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
    return std::chrono::duration<double, std::micro>(end - start).count();
}

// Runs the event loop for a while, as the window does between lines.
void runEventLoop(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// The i-th line of the balance as the worker hands it to the window.
DataLine received(int i) {
    return DataLine(reading(i), valueOf(i), i, false, std::chrono::system_clock::now());
}

// A log as a day of readings leaves it: full.
void fill(EventLogPanel& log) {
    for (int i = 1; i <= EventLogPanel::kMaxLines; ++i)
        log.append(displayLine(received(i)));
    log.flush();
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};

// The application, which also adds up the time the GUI thread spends on each kind of event
// while told to: the calls posted to it (a received line, a log entry), layout, painting.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    struct Busy {
        double calls = 0, layout = 0, paint = 0, other = 0;  // microseconds
    };

    static TimedApplication& instance() { return *static_cast<TimedApplication*>(qApp); }
    // Starts adding up anew; events for ignored are not counted.
    void startTiming(const QObject* ignored) {
        busy_ = {};
        ignored_ = ignored;
        timing_ = true;
    }
    Busy stopTiming() {
        timing_ = false;
        return busy_;
    }

    bool notify(QObject* receiver, QEvent* event) override {
        // Events sent while handling another belong to that one.
        if (!timing_ || depth_ > 0 || receiver == ignored_) return nested(receiver, event);
        const QEvent::Type type = event->type();
        const auto start = Clock::now();
        const bool result = nested(receiver, event);
        const double micros = microsSince(start);
        switch (type) {
            case QEvent::MetaCall: busy_.calls += micros; break;
            case QEvent::LayoutRequest: busy_.layout += micros; break;
            case QEvent::UpdateRequest:
            case QEvent::Paint: busy_.paint += micros; break;
            default: busy_.other += micros;
        }
        return result;
    }

private:
    bool nested(QObject* receiver, QEvent* event) {
        ++depth_;
        const bool result = QApplication::notify(receiver, event);
        --depth_;
        return result;
    }

    bool timing_ = false;
    int depth_ = 0;
    const QObject* ignored_ = nullptr;
    Busy busy_;
};

// Where the log is: a panel never shown (the document's own cost), the tab behind the one on
// the screen in a shown window (as while connected), or the tab on the screen.
enum class Placement { NeverShown, HiddenTab, OnScreen };

// Appending a line to a full log (the oldest line goes). args: a Placement, and the pause
// before each line in milliseconds: 0 back to back, 20 at a balance's 50 lines per second, when
// the window's event loop idles in between and the caches have gone cold. The time per
// iteration is the append itself; "gui_us/line" is everything the GUI thread spent for the lines
// (the appends, the log's flushes, layout and painting) divided by their number.
void BM_EventLogAppend(benchmark::State& state) {
    const auto placement = static_cast<Placement>(state.range(0));
    const auto pause = std::chrono::milliseconds(state.range(1));
    QTabWidget window;
    window.resize(640, 480);
    auto* log = new EventLogPanel;
    window.addTab(new QWidget, "Start");
    window.addTab(log, "Event log");
    if (placement == Placement::OnScreen) window.setCurrentWidget(log);
    // As in the program: the window is up before the lines come.
    if (placement != Placement::NeverShown) {
        window.show();
        runEventLoop(200ms);
    }
    fill(*log);
    runEventLoop(200ms);
    PaintCounter painted(log->eventLog()->viewport());
    std::vector<double> appends;
    int i = EventLogPanel::kMaxLines;
    const long paintsBefore = painted.paints;
    TimedApplication::instance().startTiming(nullptr);
    for (auto _ : state) {
        const DataLine line = received(++i);
        if (pause.count() > 0) runEventLoop(pause);
        const auto start = Clock::now();
        log->append(displayLine(line));
        const auto appended = Clock::now();
        if (placement != Placement::NeverShown) QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(appended - start).count());
        appends.push_back(microsSince(start, appended));
    }
    // The last lines reach the view.
    runEventLoop(std::chrono::milliseconds(3 * EventLogPanel::kFlushIntervalMs));
    const TimedApplication::Busy busy = TimedApplication::instance().stopTiming();
    QTextDocument* document = log->eventLog()->document();
    const QString last = document->findBlockByNumber(document->blockCount() - 2).text();
    if (document->blockCount() != EventLogPanel::kMaxLines + 1 ||
        !last.contains(QString::fromStdString(valueOf(i)))) {
        state.SkipWithError("the log does not end with the last line");
        return;
    }
    double appendTotal = 0;
    for (double micros : appends)
        appendTotal += micros;
    const auto lines = static_cast<double>(state.iterations());
    reportLatencies(state, appends, "append");
    state.counters["gui_us/line"] =
        (appendTotal + busy.calls + busy.layout + busy.paint + busy.other) / lines;
    state.counters["paint_us/line"] = busy.paint / lines;
    state.counters["paints/line"] = static_cast<double>(painted.paints - paintsBefore) / lines;
    state.SetLabel(placement == Placement::NeverShown  ? "never shown"
                   : placement == Placement::HiddenTab ? "hidden tab of a shown window"
                                                       : "on the screen");
}
BENCHMARK(BM_EventLogAppend)
    ->ArgNames({"placement", "pause_ms"})
    ->ArgsProduct({{static_cast<int>(Placement::NeverShown), static_cast<int>(Placement::HiddenTab),
                    static_cast<int>(Placement::OnScreen)},
                   {0}})
    ->Iterations(5000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EventLogAppend)
    ->ArgNames({"placement", "pause_ms"})
    ->ArgsProduct({{static_cast<int>(Placement::NeverShown), static_cast<int>(Placement::HiddenTab),
                    static_cast<int>(Placement::OnScreen)},
                   {20}})
    ->Iterations(500)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A dialog would wait for a person: it is closed at once and the benchmark reports it.
class DialogWatch : public QObject {
public:
    DialogWatch() {
        timer_.callOnTimeout(this, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            auto* box = qobject_cast<QMessageBox*>(dialog);
            seen += (box != nullptr ? box->text() : dialog->windowTitle()).toStdString() + "; ";
            dialog->reject();
        });
        timer_.start(100);
    }
    std::string seen;

private:
    QTimer timer_;
};

// The window on its own settings file, connected at start to the balance on a pseudo-terminal,
// typing every value with no delay (the keys are recorded, not sent: offscreen there is no
// other application to type into).
class ConnectedWindow {
public:
    explicit ConnectedWindow(const bench::Pty& pty) : store_(dir_ / "prefs.txt") {
        Preferences& node = store_.userRoot().node(kSettingsNodePath);
        const std::vector<std::pair<std::string, std::string>> settings = {
            {"instrument", "AND_SIMPLE"},
            {"inputTerminator", "10"},
            {"dataBits", "3"},
            {"parity", "0"},
            {"connect", "AUTO"},
            {"port", pty.path},
            {"prevPort", pty.path},
            {"delay", "0"},
            {"checkForUpdates", "false"},
            {"minimizeToTray", "false"}};
        for (const auto& [key, value] : settings)
            node.put(key, value);
        node.flush();
        WindowServices services;
        services.preferencesRoot = &store_.userRoot();
        services.outputs.keys = [keys = keys_](const Config&, std::stop_token) { return keys; };
        services.listPorts = [path = pty.path] { return std::vector<std::string>{path}; };
        services.exit = [](int) {};
        services.updateCheckDue = [] { return false; };
        window = std::make_unique<VozevuZaDezFrame2>(QStringList{}, std::move(services));
    }

    // The line count the status line shows.
    int linesShown() const {
        const QString status = window->findChild<QLabel*>("statusJLabel")->text();
        qsizetype digits = status.size();
        while (digits > 0 && status[digits - 1].isDigit())
            --digits;
        return status.mid(digits).toInt();
    }

private:
    test::TempDir dir_;
    FilePreferencesFactory store_;
    std::shared_ptr<RecordingKeyEvents> keys_ = std::make_shared<RecordingKeyEvents>();

public:
    std::unique_ptr<VozevuZaDezFrame2> window;
};

// Sends readings at a steady rate from its own thread, as a balance does.
class Balance {
public:
    Balance(const bench::Pty& pty, int linesPerSecond) {
        if (linesPerSecond == 0) return;
        thread_ = std::thread([this, &pty, linesPerSecond] {
            const auto period = std::chrono::nanoseconds(1'000'000'000 / linesPerSecond);
            auto due = Clock::now();
            while (!stop_) {
                due += period;
                std::this_thread::sleep_until(due);
                pty.send(reading(++sent));
            }
        });
    }
    ~Balance() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::atomic<int> sent{0};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Posts an event to the GUI thread every 10 ms from its own thread; each records how long it
// waited in the queue before the GUI thread ran it.
class LatencyProbe {
public:
    LatencyProbe() {
        thread_ = std::thread([this] {
            auto due = Clock::now();
            while (!stop_) {
                due += 10ms;
                std::this_thread::sleep_until(due);
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(
                    &receiver_,
                    [this, posted] {
                        if (recording_) micros.push_back(microsSince(posted));
                    },
                    Qt::QueuedConnection);
            }
        });
    }
    ~LatencyProbe() { stop(); }
    // Stops posting and runs the events still queued. What waits while this thread joins is no
    // latency of the window's and is not recorded.
    void stop() {
        recording_ = false;
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        QCoreApplication::sendPostedEvents(&receiver_);
    }
    const QObject* receiver() const { return &receiver_; }
    std::vector<double> micros;

private:
    QObject receiver_;
    bool recording_ = true;  // read and written on the GUI thread only
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// GUI events handled while a balance sends, with a full log. args: lines per second, whether
// the event-log tab is the one on the screen.
void BM_GuiLatencyWhileReading(benchmark::State& state) {
    const int linesPerSecond = static_cast<int>(state.range(0));
    const bool logShown = state.range(1) != 0;
    constexpr auto kDuration = 10s;
    bench::Pty pty;
    DialogWatch dialogs;
    ConnectedWindow connected(pty);
    VozevuZaDezFrame2& window = *connected.window;
    fill(*window.eventLogPanel());
    if (logShown) window.tabbedPane()->setCurrentWidget(window.eventLogPanel());
    runEventLoop(300ms);
    if (!window.isConnected() || !dialogs.seen.empty()) {
        state.SkipWithError(("not connected: " + dialogs.seen).c_str());
        return;
    }
    for (auto _ : state) {
        LatencyProbe probe;
        TimedApplication::instance().startTiming(probe.receiver());
        const auto start = Clock::now();
        Balance balance(pty, linesPerSecond);
        runEventLoop(kDuration);
        probe.stop();
        balance.stop();
        runEventLoop(200ms);  // the last lines
        const TimedApplication::Busy busy = TimedApplication::instance().stopTiming();
        const double elapsed = microsSince(start);
        state.SetIterationTime(std::chrono::duration<double>(kDuration).count());
        if (connected.linesShown() != balance.sent || !dialogs.seen.empty()) {
            state.SkipWithError(("lines were lost: " + std::to_string(connected.linesShown()) +
                                 " of " + std::to_string(balance.sent) + " " + dialogs.seen)
                                    .c_str());
            return;
        }
        reportLatencies(state, probe.micros);
        state.counters["events"] = static_cast<double>(probe.micros.size());
        state.counters["lines"] = balance.sent.load();
        state.counters["gui_busy_%"] =
            100 * (busy.calls + busy.layout + busy.paint + busy.other) / elapsed;
        if (balance.sent > 0) {
            // What the GUI thread spends per line: the posted calls (the line itself and its log
            // entries), then the layout and painting they cause.
            const double lines = balance.sent;
            state.counters["line_calls_us"] = busy.calls / lines;
            state.counters["line_layout_us"] = busy.layout / lines;
            state.counters["line_paint_us"] = busy.paint / lines;
            state.counters["line_other_us"] = busy.other / lines;
        }
    }
    state.SetLabel(logShown ? "log shown" : "start tab shown");
}
BENCHMARK(BM_GuiLatencyWhileReading)
    ->ArgNames({"lines/s", "log"})
    ->Args({0, 1})
    ->Args({50, 0})
    ->Args({50, 1})
    ->Args({500, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace scalino

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    scalino::TimedApplication application(argc, argv);
    scalino::installNativeDriver();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
