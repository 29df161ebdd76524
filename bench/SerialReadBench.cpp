// Reading a serial port byte by byte through the port object and the termios driver, the way
// the acquisition loop reads: getByte, and waitForInput whenever nothing is waiting. A writer
// thread pushes data through a pseudo-terminal as fast as the kernel takes it; the reader's
// throughput and its CPU time per wall time are what count (a real line at 921600 bit/s brings 92
// KB/s).
//
//   build/bench/serial_read_bench
#include <benchmark/benchmark.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/TermiosDriver.h"
#include "rs232/SerialConfig.h"
#include "rs232/SerialExceptions.h"
#include "rs232/SerialPortLocal.h"

namespace scalino {
namespace {

constexpr std::size_t kTotalBytes = 16u << 20;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Weighing lines as an instrument sends them, or every byte value (0xFF is doubled by the
// line discipline and undone by the driver, the costlier path).
std::vector<std::uint8_t> pattern(bool everyValue) {
    std::vector<std::uint8_t> bytes;
    if (everyValue) {
        for (int i = 0; i < 4096; ++i)
            bytes.push_back(static_cast<std::uint8_t>(i * 31 + 7));
    } else {
        const std::string line = "ST,GS,+00012.345  g\r\n";
        while (bytes.size() + line.size() <= 4096)
            bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return bytes;
}

// Sends the chunk over and over until total bytes are out; bytesPerSecond > 0 paces the
// sending like a real line, 0 sends as fast as the pty takes it.
void writeAll(int fd, const std::vector<std::uint8_t>& chunk, std::size_t total,
              std::int64_t bytesPerSecond) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    // Paced sending goes in small pieces, as a UART's interrupts deliver them.
    const std::size_t piece = bytesPerSecond > 0 ? 256 : chunk.size();
    std::size_t sent = 0;
    while (sent < total) {
        const std::size_t offset = sent % chunk.size();
        const std::size_t n = std::min({chunk.size() - offset, total - sent, piece});
        const ssize_t done = ::write(fd, chunk.data() + offset, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return;
        sent += static_cast<std::size_t>(done);
        if (bytesPerSecond > 0) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(static_cast<std::int64_t>(sent) * 1000000 /
                                                  bytesPerSecond));
        }
    }
}

// args: every byte value (0/1), total KiB, pacing in bytes per second (0: none)
void BM_SerialGetByte(benchmark::State& state) {
    const bool everyValue = state.range(0) != 0;
    const auto totalBytes = static_cast<std::size_t>(state.range(1)) << 10;
    const std::int64_t bytesPerSecond = state.range(2);
    const std::vector<std::uint8_t> chunk = pattern(everyValue);
    double cpuSeconds = 0, wallSeconds = 0;
    std::size_t received = 0, mismatches = 0;

    for (auto _ : state) {
        int master = -1, slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            state.SkipWithError("openpty failed");
            return;
        }
        std::unique_ptr<SerialPortLocal> port;
        try {
            port = std::make_unique<SerialPortLocal>(SerialConfig{std::string(name)},
                                                     std::make_shared<TermiosDriver>(),
                                                     PlatformInfo::forPlatform("Linux", "amd64"));
        } catch (const SerialPortException& error) {
            state.SkipWithError(error.what());
            return;
        }

        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuSeconds();
        std::thread writer([&] { writeAll(master, chunk, totalBytes, bytesPerSecond); });
        std::size_t got = 0, at = 0;
        while (got < totalBytes) {
            const int b = port->getByte();
            if (b >= 0) {
                if (static_cast<std::uint8_t>(b) != chunk[at]) ++mismatches;
                if (++at == chunk.size()) at = 0;
                ++got;
            } else if (b == NativeDriver::kNoByte) {
                if (port->waitForInput(5000, {}) == NativeDriver::WaitResult::TimedOut) break;
            } else {
                break;
            }
        }
        cpuSeconds += threadCpuSeconds() - cpuStart;
        wallSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        writer.join();
        received += got;
        port->close();
        ::close(slave);
        ::close(master);
    }

    if (received != totalBytes * static_cast<std::size_t>(state.iterations()) || mismatches) {
        state.SkipWithError("bytes were lost or changed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(received));
    state.counters["MB/s"] = static_cast<double>(received) / 1e6 / wallSeconds;
    state.counters["reader_cpu_%"] = 100.0 * cpuSeconds / wallSeconds;
}

// As fast as it goes: 16 MiB, weighing lines and every byte value.
BENCHMARK(BM_SerialGetByte)
    ->ArgNames({"every_value", "KiB", "paced_B/s"})
    ->Args({0, 16 << 10, 0})
    ->Args({1, 16 << 10, 0})
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Paced: 1 MB/s, and 92160 B/s (a line at 921600 bit/s); what the reader costs while it waits.
BENCHMARK(BM_SerialGetByte)
    ->ArgNames({"every_value", "KiB", "paced_B/s"})
    ->Args({0, 4 << 10, 1000000})
    ->Args({0, 512, 92160})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scalino

BENCHMARK_MAIN();
