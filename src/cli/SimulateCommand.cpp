#include "cli/SimulateCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "cli/SettingArguments.h"
#include "cli/SimulatedReadings.h"
#include "cli/StoredSettings.h"
#include "config/Instrument.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp =
    R"help(Usage: scalino-cli simulate [--interval MS] [--count N] [--link PATH]
                            [--prefs FILE] [--set KEY=VALUE]... [--defaults]

Acts as the instrument of the settings on a serial port of its own, to try out
or test a connection without a device. It creates a pseudo-terminal, prints
the device path of its port side on the first line of standard output and
sends the instrument's lines to it, one every interval: the sample lines of
the instrument, in order and over again, those that carry no value (headers,
status lines) included; instruments without sample lines send typical
readings in their format. Every line ends with the instrument's default input
terminator (CR or LF, what the default button sets): read the port with
--defaults and the same instrument. The bytes reach the port unchanged; a
reader sets the port up as it likes.

The port stays up while readers come and go. A line sent while nobody reads
waits in the port until a reader takes it, and the next line waits for that:
nothing is dropped here. But a reader that empties the port when it
connects, as 'scalino-cli read' does, misses the line sent before it
connected.

The instrument is taken from the settings store as the desktop program loads
it at start-up; --set instrument=NAME picks another for this run.

Options:
  --interval MS     Milliseconds from the start of one line to the next
                    (default 1000; 0 sends the lines back to back).
  --count N         Send N lines, wait until a reader has taken them all,
                    then end (default: no end).
  --link PATH       Also make PATH a symbolic link to the port, removed at
                    the end; an existing symbolic link at PATH is replaced,
                    anything else there is left alone (exit status 2).
  --prefs FILE      Use FILE as the settings file instead of the usual one.
  --set KEY=VALUE   Set one setting; may be repeated. See 'scalino-cli process
                    --help'.
  --defaults        Show the instrument's own line settings (what a reader
                    needs: 'scalino-cli read --defaults' uses them) and its
                    setup hint.
  --help            Show this text.

It ends once the --count lines are taken, or at once on Ctrl+C (SIGINT),
SIGTERM or SIGHUP. Then the port goes away: a reader sees it hang up, as
when an adapter is unplugged.

Exit status: 0 when it ended so, 1 when no pseudo-terminal can be created or
sending fails, 2 for a bad option or a --link PATH that cannot be made.

Examples:
  scalino-cli simulate --set instrument=KERN_MPS --interval 500
  exec 3< <(scalino-cli simulate --set instrument=KERN_MPS --count 20)
  scalino-cli read --port "$(head -n 1 <&3)" --set instrument=KERN_MPS --defaults
  scalino-cli simulate --set instrument=BARCODE_ALPHA --link /tmp/scanner
)help";

constexpr const char* kPrefix = "scalino-cli simulate: ";
constexpr long long kMaxIntervalMs = 24LL * 60 * 60 * 1000;
// Bytes an empty port is sure to take at once: the reader's line discipline holds 4096, a
// third of that when the reader has parity errors marked (a byte may then take three). Bytes
// beyond it would wait in the pseudo-terminal's own buffer, where no count sees them, so a
// hang-up could discard them while the port looked empty.
constexpr size_t kEmptyPortRoom = 4096 / 3 - 1;
// How often a port that holds bytes is looked at when no sign of a reader taking them comes.
constexpr int kRoomCheckMs = 100;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Options {
    milliseconds interval{1000};
    std::optional<long long> count;  // none: no limit
    std::optional<std::string> link;
    SettingOptions settings;
};

// The whole text as a number from min to max.
std::optional<long long> wholeNumber(std::string_view text, long long min, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || last != end || value < min || value > max) return std::nullopt;
    return value;
}

// What the user gave for an option value, for a message that refuses it.
std::string given(const std::string& value) {
    return value.empty() ? "" : ", not '" + value + "'";
}

// Takes one option of its own at arguments[i]; false when it is not one.
bool takeOption(const std::vector<std::string>& arguments, size_t& i, Options& options,
                std::string& problem) {
    if (auto interval = optionValue(arguments, i, "--interval")) {
        if (auto ms = wholeNumber(*interval, 0, kMaxIntervalMs)) {
            options.interval = milliseconds(*ms);
        } else {
            problem = "--interval takes milliseconds from 0 to " + std::to_string(kMaxIntervalMs) +
                      ", such as --interval 500" + given(*interval);
        }
    } else if (auto count = optionValue(arguments, i, "--count")) {
        options.count = wholeNumber(*count, 1, LLONG_MAX);
        if (!options.count) {
            problem =
                "--count takes a number of lines, 1 or more, such as --count 10" + given(*count);
        }
    } else if (auto link = optionValue(arguments, i, "--link")) {
        options.link = *link;
        if (link->empty()) problem = "--link needs the path of the link, such as --link /tmp/scale";
    } else {
        return false;
    }
    return true;
}

// Parses the options; on --help or a bad option, the exit status.
std::optional<int> parseOptions(std::vector<std::string> arguments, Options& options,
                                std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->c_str());
        return 2;
    }
    takeSettingOptions(arguments, options.settings, true);
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") {
            std::fputs(kHelp, out);
            return 0;
        }
        std::string problem;
        if (!takeOption(arguments, i, options, problem)) {
            problem = "unexpected argument '" + arguments[i] + "'; see --help";
        }
        if (!problem.empty()) {
            std::fprintf(err, "%s%s\n", kPrefix, problem.c_str());
            return 2;
        }
    }
    return std::nullopt;
}

// A system call that failed: the simulation cannot go on.
class SimulationError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws what failed, why (errno) and what to do about it.
[[noreturn]] void fail(const std::string& what, const std::string& advice = "") {
    throw SimulationError(what + ": " + std::strerror(errno) + advice);
}

// SIGINT, SIGTERM and SIGHUP, blocked in the calling thread and read from a descriptor while it
// lives, so that every wait of the simulation ends on them at once and it can clean up.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&signals_);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&signals_, signal);
        pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        fd_ = ::signalfd(-1, &signals_, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd_ < 0) {
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
            fail("cannot watch for signals");
        }
    }
    ~StopSignals() {
        // Takes the signals that ended the run, so that unblocking them does not end the process.
        signalfd_siginfo info;
        while (::read(fd_, &info, sizeof info) == sizeof info) {
        }
        ::close(fd_);
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return fd_; }

private:
    sigset_t signals_;
    sigset_t previous_;
    int fd_ = -1;
};

enum class Wait { Ready, TimedOut, Stopped };

// Waits for events on fd (-1: none) or a stop signal, at most timeoutMs (-1: no limit).
Wait waitFor(int fd, short events, const StopSignals& stop, int timeoutMs) {
    pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {fd, events, 0}};
    int ready;
    while ((ready = ::poll(fds, 2, timeoutMs)) < 0) {
        if (errno != EINTR) fail("cannot wait");
    }
    if (fds[0].revents != 0) return Wait::Stopped;
    return ready == 0 ? Wait::TimedOut : Wait::Ready;
}

Wait waitUntil(Clock::time_point deadline, const StopSignals& stop) {
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        const Wait result = waitFor(-1, 0, stop, static_cast<int>(std::max<long long>(left, 0)));
        if (result == Wait::Stopped || left <= 0) return result;
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A pseudo-terminal whose slave side is the simulated instrument's serial port. It keeps a
// descriptor of that side open for its whole life: without one, sending fails until a reader
// opens the port, and a reader that closes it again would hang the line up.
class PseudoTerminal {
public:
    PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        const std::string advice =
            "; check that /dev/pts is mounted and that neither the limit of open files "
            "(ulimit -n) nor that of pseudo-terminals (/proc/sys/kernel/pty/max) is reached";
        char name[128];
        if (master_.get() < 0 || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0 ||
            ::ptsname_r(master_.get(), name, sizeof name) != 0)
            fail("cannot create a pseudo-terminal", advice);
        path_ = name;
        slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
        // Raw from the start: no echo and no CR/LF translation touches the lines that arrive
        // before a reader sets the port up.
        termios settings;
        if (slave_.get() < 0 || ::tcgetattr(slave_.get(), &settings) != 0)
            fail("cannot open the pseudo-terminal " + path_, advice);
        ::cfmakeraw(&settings);
        if (::tcsetattr(slave_.get(), TCSANOW, &settings) != 0)
            fail("cannot set up the pseudo-terminal " + path_);
        readerTook_.reset(::epoll_create1(EPOLL_CLOEXEC));
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLET;
        if (readerTook_.get() < 0 ||
            ::epoll_ctl(readerTook_.get(), EPOLL_CTL_ADD, master_.get(), &event) != 0)
            fail("cannot watch the pseudo-terminal " + path_);
    }

    const std::string& path() const { return path_; }

    // Sends all of bytes, each part once the port is empty. Returns the number of bytes sent:
    // fewer than all only when a stop signal came first.
    size_t send(std::string_view bytes, const StopSignals& stop) {
        size_t sent = 0;
        while (sent < bytes.size() && waitUntilTaken(stop)) {
            const size_t part = std::min(bytes.size() - sent, kEmptyPortRoom);
            const ssize_t n = ::write(master_.get(), bytes.data() + sent, part);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                fail("cannot send to the pseudo-terminal " + path_);
            } else if (n < 0 && errno == EAGAIN && waitForReader(stop) == Wait::Stopped) {
                break;  // the kernel is short of buffer space: no spinning until it has some
            }
        }
        return sent;
    }

    // Waits until readers have taken every byte sent; false when a stop signal came first.
    bool waitUntilTaken(const StopSignals& stop) {
        while (unreadBytes() > 0) {
            if (waitForReader(stop) == Wait::Stopped) return false;
        }
        return true;
    }

    // Closes the line as an unplugged adapter does: readers see the hang-up.
    void hangUp() {
        master_.reset();
        slave_.reset();
    }

private:
    // Waits until a reader has taken bytes from the port (the kernel then wakes the writers on
    // the master side), or kRoomCheckMs at most.
    Wait waitForReader(const StopSignals& stop) {
        const Wait result = waitFor(readerTook_.get(), POLLIN, stop, kRoomCheckMs);
        epoll_event event;
        while (::epoll_wait(readerTook_.get(), &event, 1, 0) > 0) {
        }
        return result;
    }

    int unreadBytes() const {
        // Polling a port that looks empty first moves bytes still on their way into its input
        // buffer, where the count sees them: as no more is sent than that buffer takes, the
        // count is then exact.
        pollfd port = {slave_.get(), POLLIN, 0};
        ::poll(&port, 1, 0);
        int count = 0;
        if (::ioctl(slave_.get(), FIONREAD, &count) != 0) return 0;
        return count;
    }

    Descriptor master_;
    Descriptor slave_;
    Descriptor readerTook_;  // edge-triggered: each wake-up of the master's writers, once
    std::string path_;
};

// PATH as a symbolic link to the port while the simulation runs.
class PortLink {
public:
    // Why PATH must not become the link (something other than a symbolic link is there), or
    // nothing.
    static std::optional<std::string> refusal(const std::filesystem::path& path) {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::file_type type = fs::symlink_status(path, error).type();
        // Nothing there, or nothing to see: making the link says what is wrong, if anything.
        if (error || type == fs::file_type::not_found || type == fs::file_type::symlink)
            return std::nullopt;
        const char* what = type == fs::file_type::directory ? "a folder"
                           : type == fs::file_type::regular ? "a file"
                                                            : "not a symbolic link";
        return "--link: '" + path.string() + "' is " + what +
               "; it is left alone: name another path, or remove it first";
    }

    // Replaces an old link at PATH in one step: the new one is made beside it and renamed.
    PortLink(std::filesystem::path path, std::filesystem::path target)
        : path_(std::move(path)), target_(std::move(target)) {
        std::filesystem::path temporary = path_;
        temporary += ".scalino-" + std::to_string(::getpid());
        std::filesystem::create_symlink(target_, temporary);
        std::error_code error;
        std::filesystem::rename(temporary, path_, error);
        if (error) {
            std::filesystem::remove(temporary);
            throw std::filesystem::filesystem_error("cannot create the link", path_, error);
        }
    }
    // Removes the link, unless another simulation has taken PATH over meanwhile.
    ~PortLink() {
        std::error_code error;
        if (std::filesystem::read_symlink(path_, error) == target_ && !error)
            std::filesystem::remove(path_, error);
    }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

private:
    std::filesystem::path path_;
    std::filesystem::path target_;
};

// Sends the lines, cyclically, until the count is reached and taken, or a stop signal.
void sendLines(PseudoTerminal& port, const std::vector<std::string>& lines, const Options& options,
               const StopSignals& stop, std::FILE* err) {
    auto next = Clock::now();
    for (long long sent = 0; !options.count || sent < *options.count; ++sent) {
        if (waitUntil(next, stop) == Wait::Stopped) return;
        next = Clock::now() + options.interval;
        const std::string& line = lines[static_cast<size_t>(sent) % lines.size()];
        const size_t bytes = port.send(line, stop);
        if (bytes < line.size()) {
            if (bytes > 0) {
                std::fprintf(err,
                             "%sstopped in the middle of line %lld: %zu of its %zu bytes sent\n",
                             kPrefix, sent + 1, bytes, line.size());
            }
            return;
        }
    }
    port.waitUntilTaken(stop);
}

int simulate(const std::vector<std::string>& lines, const Options& options, const StopSignals& stop,
             std::FILE* out, std::FILE* err) {
    try {
        PseudoTerminal port;
        std::optional<PortLink> link;
        try {
            if (options.link) link.emplace(*options.link, port.path());
        } catch (const std::filesystem::filesystem_error& error) {
            std::fprintf(err,
                         "%scannot make '%s' a link to the port: %s; name a path in a folder "
                         "that exists and that you can write to\n",
                         kPrefix, options.link->c_str(), error.code().message().c_str());
            return 2;
        }
        std::fprintf(out, "%s\n", port.path().c_str());
        std::fflush(out);
        sendLines(port, lines, options, stop, err);
        port.hangUp();
        return 0;
    } catch (const SimulationError& error) {
        std::fprintf(err, "%s%s\n", kPrefix, error.what());
        return 1;
    }
}

}  // namespace

int runSimulate(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parseOptions(arguments, options, out, err)) return *status;
    std::optional<StopSignals> stop;
    try {
        stop.emplace();  // first: a signal during set-up still ends the run cleanly
    } catch (const SimulationError& error) {
        std::fprintf(err, "%s%s\n", kPrefix, error.what());
        return 1;
    }
    Config config = loadStoredSettings(err, "simulate", {});
    if (auto error = applySettings(config, options.settings)) {
        std::fprintf(err, "%s%s\n", kPrefix, error->message.c_str());
        return 2;
    }
    if (options.settings.defaults) reportDefaults(err, "simulate", config);
    using ConfigHelper::Instrument;
    const auto instrument = config.getInstrument().value_or(ConfigHelper::getDefault<Instrument>());
    const std::vector<std::string> lines = simulatedLines(instrument);
    if (lines.empty()) {
        std::fprintf(err, "%sthe instrument %s has no lines to send; choose another one\n", kPrefix,
                     std::string(ConfigHelper::name(instrument)).c_str());
        return 1;
    }
    if (options.link) {
        if (auto refusal = PortLink::refusal(*options.link)) {
            std::fprintf(err, "%s%s\n", kPrefix, refusal->c_str());
            return 2;
        }
    }
    return simulate(lines, options, *stop, out, err);
}

}  // namespace scalino::cli
