// scalino-cli simulate, run as a program and read through its pseudo-terminal as a serial
// reader would; and the lines it sends, checked against each instrument's expression.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "cli/SimulatedReadings.h"
#include "support/ConfigBuilder.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "worker/LineAssembler.h"
#include "worker/LineProcessor.h"

namespace scalino {
namespace {

namespace fs = std::filesystem;
using ConfigHelper::Instrument;

// Only against a hang: every wait here normally ends long before.
constexpr int kGuardMs = 10000;

// Waits for fd to become readable; false (with a failure) when the guard runs out.
bool readable(int fd) {
    pollfd ready = {fd, POLLIN, 0};
    const int n = ::poll(&ready, 1, kGuardMs);
    EXPECT_GT(n, 0) << "nothing arrived within " << kGuardMs << " ms";
    return n > 0;
}

// scalino-cli simulate running in the background.
test::RunningProgram simulate(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "simulate");
    return test::RunningProgram(SCALINO_CLI, arguments);
}

// The port's path, from the first line of standard output.
std::string portPath(test::RunningProgram& simulator) {
    const auto line = simulator.readLine(std::chrono::milliseconds(kGuardMs));
    EXPECT_TRUE(line) << "no port within " << kGuardMs << " ms: " << simulator.err();
    return line.value_or("");
}

// Opens the port as a serial reader does, raw.
int openPort(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
    termios settings;
    if (fd >= 0 && ::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

// Reads until count bytes have come, or until the port hangs up; sets hungUp then.
std::string readPort(int fd, size_t count, bool* hungUp = nullptr) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < count && readable(fd)) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) {  // 0 or EIO: the line is gone
            if (hungUp != nullptr) *hungUp = true;
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

// Termios belongs to the tty, so a new reader sees what the simulator set: no echo and no
// CR/LF translation may touch lines that arrive before a reader sets the port up.
void expectRawBeforeAnyReaderSetsItUp(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    ASSERT_EQ(::tcgetattr(fd, &settings), 0) << path << ": " << std::strerror(errno);
    EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON), 0u);
    EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0u);
    ::close(fd);
}

std::string repeated(const std::vector<std::string>& cycle, size_t lines) {
    std::string bytes;
    for (size_t i = 0; i < lines; ++i)
        bytes += cycle[i % cycle.size()];
    return bytes;
}

TEST(SimulateCommandTest, SendsEveryLineInOrderAsTheReaderTakesThemAndEndsAfterCount) {
    // 3000 lines are far more than the port holds: sending has to wait for the reader, and the
    // end must not come before the reader has taken the last byte.
    const size_t count = 3000;
    auto simulator = simulate(
        {"--set", "instrument=MITUTOYO", "--interval", "0", "--count", std::to_string(count)});
    const int port = openPort(portPath(simulator));
    // Samples that end with CR keep it; the others get it.
    const std::string expected = repeated({"01A+001.1920\r", "01A-001.1805\r", "+123.45\r"}, count);
    bool hungUp = false;
    const std::string received = readPort(port, SIZE_MAX, &hungUp);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected)
        << "first difference at byte "
        << std::mismatch(received.begin(), received.end(), expected.begin(), expected.end()).first -
               received.begin();
    EXPECT_TRUE(hungUp);
    const auto result = simulator.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    ::close(port);
}

TEST(SimulateCommandTest, ASignalEndsTheWaitAtOnceAndTheReaderSeesTheHangUp) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // An hour between lines: only the signal can end this run within the test's time.
        auto simulator = simulate({"--interval", "3600000"});
        const std::string path = portPath(simulator);
        expectRawBeforeAnyReaderSetsItUp(path);  // a reader that comes and goes ends nothing
        const int port = openPort(path);
        EXPECT_EQ(readPort(port, 12), "     0.00 g\r") << "the default instrument, GENERIC";
        simulator.signal(signal);
        bool hungUp = false;
        EXPECT_EQ(readPort(port, SIZE_MAX, &hungUp), "");
        EXPECT_TRUE(hungUp) << strsignal(signal);
        const auto result = simulator.wait();
        EXPECT_EQ(result.exitStatus, 0) << strsignal(signal) << result.err;
        ::close(port);
    }
}

TEST(SimulateCommandTest, LinkReplacesAnOldLinkAndGoesAtTheEndButLeavesOtherFilesAlone) {
    test::TempDir dir;
    const fs::path link = dir / "scale";
    fs::create_symlink("/dev/null-old-port", link);
    auto simulator = simulate(
        {"--set", "instrument=KERN_RPB", "--interval", "0", "--count", "2", "--link", link});
    const std::string path = portPath(simulator);
    EXPECT_EQ(fs::read_symlink(link), path);
    const int port = openPort(link);
    EXPECT_EQ(readPort(port, SIZE_MAX), "N:    0.404 kg\r\n   0.34 EUR/kg\r\n");
    EXPECT_EQ(simulator.wait().exitStatus, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    ::close(port);

    test::writeFile(dir / "file", "keep");
    fs::create_directory(dir / "folder");
    for (const std::string name : {"file", "folder"}) {
        const auto result =
            test::runProgram(SCALINO_CLI, {"simulate", "--link", dir / name, "--count", "1"}, "");
        EXPECT_EQ(result.exitStatus, 2) << name;
        EXPECT_EQ(result.out, "") << name;
        EXPECT_NE(result.err.find((dir / name).string()), std::string::npos) << result.err;
    }
    EXPECT_EQ(test::readFile(dir / "file"), "keep");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(SimulateCommandTest, BadOptionsAreRefusedBeforeAPortIsMade) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--interval", "-5"}, "--interval"},
        {{"--interval", "1s"}, "--interval"},
        {{"--interval"}, "--interval"},
        {{"--count", "0"}, "--count"},
        {{"--count", "many"}, "--count"},
        {{"--link", ""}, "--link"},
        {{"--set", "instrument=SCALE"}, "instrument"},
        {{"--loop"}, "--loop"},
    };
    for (const auto& [arguments, named] : cases) {
        std::vector<std::string> all{"simulate"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const auto result = test::runProgram(SCALINO_CLI, all, "");
        EXPECT_EQ(result.exitStatus, 2) << named;
        EXPECT_EQ(result.out, "") << named;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    }
    const auto help = test::runProgram(SCALINO_CLI, {"simulate", "--help"}, "");
    EXPECT_EQ(help.exitStatus, 0);
    for (std::string_view word : {"--interval", "--count", "--link", "--set", "read --port"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// What a reader makes of the lines: split at the input terminator and processed as a
// connection processes them. Profiles with samples send some lines without a value on purpose.
TEST(SimulatedLinesTest, EveryInstrumentSendsWholeLinesAReaderTakesValuesFrom) {
    for (Instrument instrument : ConfigHelper::values<Instrument>()) {
        const std::string name(ConfigHelper::name(instrument));
        const auto lines = cli::simulatedLines(instrument);
        ASSERT_FALSE(lines.empty()) << name;
        const Config config = test::configWith({{"instrument", name}});
        LineProcessor processor(config, LineProcessor::semanticsFor(config),
                                [&](const std::string& event) { ADD_FAILURE() << event; });
        LineAssembler assembler(static_cast<unsigned char>(
            ConfigHelper::getSerialDefaults(instrument).inputTerminator));
        size_t values = 0;
        for (const std::string& line : lines) {
            for (char byte : line) {
                if (assembler.push(static_cast<unsigned char>(byte)) !=
                    LineAssembler::Push::Complete)
                    continue;
                try {
                    values += processor.process(assembler.line()).empty() ? 0 : 1;
                } catch (const std::exception& error) {
                    ADD_FAILURE() << name << ": " << error.what();
                }
                assembler.clear();
            }
            EXPECT_FALSE(assembler.hasPendingBytes()) << name << " line " << line;
        }
        const auto samples = ConfigHelper::getTestStrings(instrument);
        if (samples.front().line.empty()) {
            EXPECT_EQ(values, lines.size()) << name << ": every reading yields its value";
        } else {
            EXPECT_GT(values, 0u) << name;
        }
    }
}

}  // namespace
}  // namespace scalino
