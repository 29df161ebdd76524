// A long connection: scalino-cli read --type --keyboard record on a pseudo-terminal, fed at a
// balance's 50 lines per second for range(0) seconds. Reports the reader's resident memory after
// a warm-up and at the end, and checks that every line arrived, in order, and that the last
// value was typed.
//
//   build/bench/soak_bench                              (one hour)
//   build/bench/soak_bench --benchmark_filter=Soak/60   (one minute)
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "config/Instrument.h"
#include "worker/Keybot.h"
#include "worker/RecordingKeyEvents.h"

namespace scalino {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using bench::Pty;
using bench::reading;
using bench::valueOf;

double residentMiB(pid_t pid, const char* field = "VmRSS:") {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::stod(line.substr(line.find(':') + 1)) / 1024.0;
    }
    return -1;
}

// What the reader prints, checked line by line on a thread of its own.
class Output {
public:
    explicit Output(int fd) : fd_(fd), thread_([this] { run(); }) {}
    ~Output() { join(); }
    // Waits for the end of the output (the reader has ended); keys is complete then.
    void join() {
        if (!thread_.joinable()) return;
        thread_.join();
        ::close(fd_);
    }

    std::atomic<int> lines{0};
    std::atomic<int> wrong{0};  // out of order, or with a value other than the reading's
    std::string keys;           // the final "keys" line, once the reader has ended

private:
    void run() {
        std::string buffer;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) break;
            buffer.append(chunk, static_cast<size_t>(n));
            size_t end;
            while ((end = buffer.find('\n')) != std::string::npos) {
                check(buffer.substr(0, end));
                buffer.erase(0, end + 1);
            }
        }
    }
    void check(const std::string& line) {
        if (line.starts_with("keys\t")) {
            keys = line.substr(5);
            return;
        }
        const int expected = lines + 1;
        if (!line.starts_with(std::to_string(expected) + "\t" + valueOf(expected) + "\t")) ++wrong;
        ++lines;
    }

    int fd_;
    std::thread thread_;
};

pid_t spawnReader(const std::string& port, int& out) {
    int pipeFds[2];
    pipe2(pipeFds, O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string prefs = "/tmp/scalino-soak-" + std::to_string(getpid()) + ".txt";
    std::vector<std::string> argv = {SCALINO_CLI,
                                     "read",
                                     "--type",
                                     "--keyboard",
                                     "record",
                                     "--port",
                                     port,
                                     "--prefs",
                                     prefs,
                                     "--set",
                                     "instrument=AND_SIMPLE",
                                     "--set",
                                     "inputTerminator=10",
                                     "--set",
                                     "delay=0",
                                     "--set",
                                     "outputTerminator=ENTER"};
    std::vector<char*> args;
    for (auto& argument : argv)
        args.push_back(argument.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    out = pipeFds[0];
    return pid;
}

// The keys the last value makes, as the recording names them.
std::string keysOf(const std::string& value) {
    Config config = ConfigHelper::getDefaultConfig(ConfigHelper::Instrument::AND_SIMPLE);
    config.setInstrument(ConfigHelper::Instrument::AND_SIMPLE);
    config.setDelay("0");
    config.setOutputTerminator(ConfigHelper::OutputTerminator::ENTER);
    RecordingKeyEvents recording;
    auto keybot = Keybot::fromConfig(config, nullptr, recording);
    keybot->typeString(value);
    keybot->typeEnd();
    return recording.transcript();
}

void BM_ReadTypeSoak(benchmark::State& state) {
    const auto duration = std::chrono::seconds(state.range(0));
    const int total = static_cast<int>(duration / 20ms);
    for (auto _ : state) {
        Pty pty;
        int out = -1;
        const pid_t reader = spawnReader(pty.path, out);
        std::this_thread::sleep_for(500ms);  // the port is open
        Output output(out);
        const auto start = Clock::now();
        // The recording keeps its newest events: a minute fills it.
        const auto warmUp = std::min<Clock::duration>(duration / 10, 60s);
        double rssStart = -1;
        for (int i = 1; i <= total; ++i) {
            std::this_thread::sleep_until(start + i * 20ms);
            pty.send(reading(i));
            if (rssStart < 0 && Clock::now() - start >= warmUp) rssStart = residentMiB(reader);
        }
        for (int i = 0; i < 500 && output.lines < total; ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(200ms);  // the last value is typed
        const double rssEnd = residentMiB(reader);
        const double peak = residentMiB(reader, "VmHWM:");
        kill(reader, SIGINT);
        int status = 0;
        waitpid(reader, &status, 0);
        output.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["lines_sent"] = total;
        state.counters["lines_arrived"] = output.lines.load();
        state.counters["rss_start_MiB"] = rssStart;
        state.counters["rss_end_MiB"] = rssEnd;
        state.counters["rss_growth_KiB"] = (rssEnd - rssStart) * 1024.0;
        state.counters["rss_peak_MiB"] = peak;
        if (output.lines != total || output.wrong != 0) {
            state.SkipWithError("lines were lost, reordered or changed");
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the reader did not end with status 0");
        } else if (!output.keys.ends_with(keysOf(valueOf(total)))) {
            state.SkipWithError("the last value was not typed");
        }
    }
}
BENCHMARK(BM_ReadTypeSoak)
    ->Name("Soak")
    ->Arg(3600)
    ->Arg(60)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
