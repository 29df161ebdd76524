// What several benchmarks share: a pseudo-terminal as the far end of a serial line, the
// readings of a simulated A&D balance with their values, and the percentiles of a series.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace scalino::bench {

// A pseudo-terminal; the master is the balance's end.
class Pty {
public:
    Pty() {
        char name[128] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        // A program the benchmark starts must not hold the far end open.
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        path = name;
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void send(std::string_view bytes) const {
        while (!bytes.empty()) {
            const ssize_t n = ::write(master, bytes.data(), bytes.size());
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    int master = -1, slave = -1;
    std::string path;
};

// The i-th reading of an A&D balance in grams, with its CR LF.
inline std::string reading(int i) {
    char line[32];
    std::snprintf(line, sizeof line, "ST,+%05d.%02d  g\r\n", i / 100 % 100000, i % 100);
    return line;
}

// The value the i-th reading gives.
inline std::string valueOf(int i) {
    char value[32];
    std::snprintf(value, sizeof value, "%d.%02d", i / 100 % 100000, i % 100);
    return value;
}

// Median, 99th percentile and maximum as counters named prefix_median_us and so on (values in
// microseconds).
inline void reportLatencies(benchmark::State& state, std::vector<double>& micros,
                            const std::string& prefix = "") {
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    const std::string name = prefix.empty() ? "" : prefix + "_";
    state.counters[name + "median_us"] = micros[micros.size() / 2];
    state.counters[name + "p99_us"] = micros[micros.size() * 99 / 100];
    state.counters[name + "max_us"] = micros.back();
}

}  // namespace scalino::bench
