// The acquisition worker end to end on a pseudo-terminal: how soon a line written at the far
// end is published, how many lines per second get through, and what an idle connection costs.
// The same latency is measured for `scalino-cli read` and for a plain Python reader (pyserial's
// read_until and one regular expression, bench/baseline_reader.py), each printing to a pipe.
//
//   build/bench/worker_bench                      (idle connection: 10 s)
//   build/bench/worker_bench --benchmark_filter=Idle/60
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "config/Instrument.h"
#include "platform/TermiosDriver.h"
#include "worker/WorkerChoice.h"

namespace scalino {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using bench::Pty;
using bench::reading;
using bench::reportLatencies;
using bench::valueOf;

// Counts the published lines and keeps the last one.
class CountingView : public WeightWorkerView {
public:
    void logEvent(const std::string&) override {}
    void logImportantEvent(const std::string& text) override { problems.push_back(text); }
    void setConnectedInGUI(bool) override {}
    void update(const DataLine& line) override {
        ++lines;
        last = line.getProcessedData();
        if (line.getCount() != lines) ++misnumbered;
    }
    int lines = 0, misnumbered = 0;
    std::string last;
    std::vector<std::string> problems;
};

// One connection to the pty, with the test's own UI executor.
struct Connection {
    explicit Connection(const Pty& pty) {
        Config config = ConfigHelper::getDefaultConfig(ConfigHelper::Instrument::AND_SIMPLE);
        config.setInstrument(ConfigHelper::Instrument::AND_SIMPLE);
        config.setPort(pty.path);
        config.setDataBits(SerialConfig::LN_8BITS);
        config.setParity(SerialConfig::PY_NONE);
        config.setInputTerminator('\n');
        worker = createWeightWorker(config, view, ui, [](const SerialConfig& serial) {
            return std::make_unique<SerialPortLocal>(serial, std::make_shared<TermiosDriver>(),
                                                     PlatformInfo::forPlatform("Linux", "amd64"));
        });
        worker->execute();
    }
    ~Connection() {
        worker->cancel(true);
        ui.runUntil([&] { return worker->isDone(); }, 10s);
    }
    CountingView view;
    QueueExecutor ui;
    std::shared_ptr<WeightWorker> worker;
};

// Writes one reading at a time and times it until arrived(i) says the i-th came out.
template <class Arrived>
void timeReadings(benchmark::State& state, const Pty& pty, Arrived arrived) {
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        const std::string line = reading(++i);
        const auto start = Clock::now();
        pty.send(line);
        if (!arrived(i)) {
            state.SkipWithError("a line did not come out");
            return;
        }
        const std::chrono::duration<double, std::micro> took = Clock::now() - start;
        state.SetIterationTime(took.count() / 1e6);
        micros.push_back(took.count());
        std::this_thread::sleep_for(1ms);  // the next reading comes later, as from a balance
    }
    reportLatencies(state, micros);
}

// Write one line, then wait on the UI side until it is published.
void BM_WorkerLineLatency(benchmark::State& state) {
    Pty pty;
    Connection connection(pty);
    timeReadings(state, pty, [&](int i) {
        return connection.ui.runUntil([&] { return connection.view.lines >= i; }, 10s) &&
               connection.view.lines == i;
    });
}
BENCHMARK(BM_WorkerLineLatency)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// A reader program on the pty whose printed lines come back through a pipe.
class Reader {
public:
    explicit Reader(std::vector<std::string> argv) {
        int out[2];
        pipe2(out, O_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ok = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Reader() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        ::close(out_);
    }
    // Waits for the next printed line; false after a time-out.
    bool awaitLine() {
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                buffer_.erase(0, end + 1);
                return true;
            }
            pollfd pfd{out_, POLLIN, 0};
            if (poll(&pfd, 1, 10000) <= 0) return false;
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    bool ok = false;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

void readerLatency(benchmark::State& state, std::vector<std::string> argv) {
    Pty pty;
    for (auto& a : argv)
        if (a == "PORT") a = pty.path;
    Reader reader(argv);
    // The reader is ready once a first line comes back.
    bool ready = false;
    for (int i = 0; i < 50 && !ready && reader.ok; ++i) {
        pty.send(reading(0));
        ready = reader.awaitLine();
    }
    if (!ready) {
        state.SkipWithError("the reader did not start (for the Python one: python3-serial)");
        return;
    }
    std::this_thread::sleep_for(200ms);
    timeReadings(state, pty, [&](int) { return reader.awaitLine(); });
}

void BM_CliReadLatency(benchmark::State& state) {
    readerLatency(state,
                  {SCALINO_CLI, "read", "--port", "PORT", "--set", "instrument=AND_SIMPLE", "--set",
                   "dataBits=3", "--set", "parity=0", "--set", "inputTerminator=10"});
}
BENCHMARK(BM_CliReadLatency)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_PythonBaselineLatency(benchmark::State& state) {
    readerLatency(state, {"/usr/bin/python3", BASELINE_READER, "PORT"});
}
BENCHMARK(BM_PythonBaselineLatency)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

// Lines back to back from a writer thread; every one must be published, in order, none merged.
void BM_WorkerThroughput(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::string all;
    for (int i = 1; i <= count; ++i)
        all += reading(i);
    double seconds = 0;
    for (auto _ : state) {
        Pty pty;
        Connection connection(pty);
        const auto start = Clock::now();
        std::thread writer([&] { pty.send(all); });
        connection.ui.runUntil([&] { return connection.view.lines >= count; }, 60s);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        writer.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        const bool complete = connection.view.lines == count && connection.view.misnumbered == 0 &&
                              connection.view.last == valueOf(count);
        if (!complete) {
            state.SkipWithError("lines were lost, merged or misnumbered");
            return;
        }
    }
    state.counters["lines/s"] =
        static_cast<double>(count) * static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(BM_WorkerThroughput)->Arg(500000)->UseManualTime()->Unit(benchmark::kMillisecond);

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Context switches of every thread of the process: each wake-up of a sleeping thread is one.
long contextSwitches() {
    long total = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:")) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

// A connection on which nothing arrives, for range(0) seconds.
void BM_WorkerIdle(benchmark::State& state) {
    const auto seconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        Pty pty;
        Connection connection(pty);
        std::this_thread::sleep_for(200ms);  // settled
        const double cpuStart = processCpuSeconds();
        const long switchesStart = contextSwitches();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        // This thread's own sleep accounts for one switch.
        const long wakeUps = contextSwitches() - switchesStart - 1;
        state.counters["cpu_%"] = 100.0 * (processCpuSeconds() - cpuStart) / seconds;
        state.counters["wakeups/s"] = static_cast<double>(wakeUps) / seconds;
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_WorkerIdle)
    ->Arg(10)
    ->Arg(60)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
