// scalino-cli read, run as a program on a pseudo-terminal: the instrument's bytes go in at the
// far end, processed lines come out on standard output and the event log on standard error.
#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <thread>

#include "support/Pty.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;

test::Bytes bytes(std::string_view text) {
    return test::Bytes(text.begin(), text.end());
}

// A pseudo-terminal carries 8 data bits without parity.
std::vector<std::string> readArguments(const test::Pty& pty, std::vector<std::string> more) {
    std::vector<std::string> arguments{"read",       "--port", pty.path(), "--set",
                                       "dataBits=3", "--set",  "parity=0"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// Waits until the program has opened the port: the log says so.
void awaitOpened(test::RunningProgram& program) {
    for (int i = 0; i < 500 && program.err().find(" opened") == std::string::npos; ++i) {
        std::this_thread::sleep_for(10ms);
    }
}

TEST(ReadCommandTest, PrintsEveryLineAndStopsCleanlyOnSigterm) {
    test::Pty pty;
    test::RunningProgram read(SCALINO_CLI, readArguments(pty, {"--set", "instrument=AND_SIMPLE",
                                                               "--set", "inputTerminator=10"}));
    awaitOpened(read);
    pty.send(bytes("ST,+00012.34  g\r\nOL\r\nST,-00000.04  g\r\n12.3"));
    EXPECT_EQ(read.readLine(30s), "1\t12.34\t0\tST,+00012.34  g<13><10>");
    EXPECT_EQ(read.readLine(30s), "2\t\t0\tOL<13><10>");
    EXPECT_EQ(read.readLine(30s), "3\t-0.04\t0\tST,-00000.04  g<13><10>");
    read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    // Every log entry starts with the time; the last ones report the stop and the bytes left.
    const std::regex entry(R"(\d\d:\d\d:\d\d (.*))");
    std::vector<std::string> entries;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, entry)) entries.push_back(match[1]);
    }
    ASSERT_GE(entries.size(), 3u) << result.err;
    EXPECT_EQ(entries[0].rfind("Port " + pty.path() + " opened", 0), 0u) << entries[0];
    EXPECT_EQ(entries[entries.size() - 2], workerText("stopped"));
    EXPECT_EQ(entries.back(), workerText("unsent.data") + " 12.3");
}

TEST(ReadCommandTest, AnUnpluggedAdapterEndsWithStatus3) {
    test::Pty pty;
    test::RunningProgram read(SCALINO_CLI, readArguments(pty, {}));
    awaitOpened(read);
    pty.send(bytes("5\r"));
    EXPECT_EQ(read.readLine(30s), "1\t5\t0\t5<13>");
    pty.closeMaster();
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 3) << result.err;
    EXPECT_NE(result.err.find(workerText("execution.exception") + " getByte failed: "),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(pty.path()), std::string::npos) << result.err;
}

TEST(ReadCommandTest, ATerminatorThatDoesNotComeIsReportedWhileReadingWithTheOptionToSet) {
    test::Pty pty;
    test::RunningProgram read(SCALINO_CLI, readArguments(pty, {"--set", "instrument=AND_SIMPLE",
                                                               "--set", "inputTerminator=10"}));
    awaitOpened(read);
    pty.send(bytes("ST,+00012.34  g\r"));
    const std::string report = workerText(
        "no.terminator.other", {"LF, 10", "2", "CR (13)", "CR", "13",
                                workerText("setting.option", {"inputTerminator", "13"})});
    for (int i = 0; i < 3000 && read.err().find(report) == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_NE(read.err().find(report), std::string::npos) << "not while reading: " << read.err();
    read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
}

TEST(ReadCommandTest, TypesEveryValueWithTheSettingsKeys) {
    test::Pty pty;
    test::RunningProgram read(
        SCALINO_CLI,
        readArguments(pty, {"--type", "--keyboard", "record", "--set", "delay=0", "--set",
                            "outputTerminator=ENTER", "--set", "ignoreDuplicates=true"}));
    awaitOpened(read);
    pty.send(bytes("1.5\r1.5\r-2\r"));
    EXPECT_EQ(read.readLine(30s), "1\t1.5\t0\t1.5<13>");
    EXPECT_EQ(read.readLine(30s), "2\t\t0\t1.5<13>");  // a duplicate: neither typed nor sounded
    EXPECT_EQ(read.readLine(30s), "3\t-2\t0\t-2<13>");
    read.signal(SIGINT);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "keys\t+D1 . -D1 . +Period . -Period . +D5 . -D5 . +Enter . -Enter "
              "+Minus . -Minus . +D2 . -D2 . +Enter . -Enter\n");
}

// The loudest 16-bit sample of a WAV file's data.
int peakOf(const std::string& wav) {
    int peak = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(
            static_cast<unsigned char>(wav[i]) | (static_cast<unsigned char>(wav[i + 1]) << 8));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

// FluidSynth's "file" audio driver stands in for the sound system: it writes what it plays to
// fluidsynth.wav in the working folder. A build without FluidSynth delivers the value all the
// same, writes nothing, and says why there is no sound.
TEST(ReadCommandTest, SoundsTheSettingsSoundForEveryValue) {
    for (const std::string sound : {"COWBELL", "NONE"}) {
        SCOPED_TRACE(sound);
        test::TempDir folder;
        test::Pty pty;
        std::string command = "cd '" + folder.path().string() + "' && exec " + SCALINO_CLI;
        for (const auto& argument : readArguments(pty, {"--sound", "--set", "sound=" + sound}))
            command += " " + argument;
        test::RunningProgram read("/bin/sh", {"-c", command}, {"SCALINO_AUDIO_DRIVER=file"});
        awaitOpened(read);
        pty.send(bytes("7\r"));
        EXPECT_EQ(read.readLine(30s), "1\t7\t0\t7<13>");
        std::this_thread::sleep_for(300ms);  // the beat of the note
        read.signal(SIGTERM);
        const auto result = read.wait();
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        const auto wav = folder / "fluidsynth.wav";
        if (sound == "NONE" || !SCALINO_WITH_FLUIDSYNTH) {
            EXPECT_FALSE(std::filesystem::exists(wav));
        } else {
            EXPECT_GT(peakOf(test::readFile(wav)), 1000);
        }
        const bool saysWithoutSound =
            result.err.find("this build has no sound output") != std::string::npos;
        EXPECT_EQ(saysWithoutSound, sound != "NONE" && !SCALINO_WITH_FLUIDSYNTH) << result.err;
    }
}

// A status line of /proc/PID/status in KiB, or -1.
long statusKiB(pid_t pid, std::string_view field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::atol(line.c_str() + field.size());
    }
    return -1;
}

// An instrument that sends lines of one digit each, the digit counting up (as many lines per
// byte as can be), from a thread of its own, as fast as the port takes them. A port that takes
// nothing makes it wait; it can be stopped while it waits.
class FloodingInstrument {
public:
    FloodingInstrument(const test::Pty& pty, int lines) : master_(pty.master()), lines_(lines) {
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { send(); });
    }
    ~FloodingInstrument() {
        stop_ = true;
        thread_.join();
    }
    // Lines written to the port so far, the one under way included.
    int sent() const { return (written_ + 1) / 2; }
    // Waits until more than lines have been written, at most timeout; false if not.
    bool awaitMoreThan(int lines, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (sent() <= lines) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
    // The line the program numbers count, as the program prints it.
    static std::string printed(int count) {
        const std::string digit = std::to_string((count - 1) % 10);
        return std::to_string(count) + "\t" + digit + "\t0\t" + digit + "<10>";
    }

private:
    void send() {
        std::string text;
        for (int i = 0; i < lines_; ++i)
            text += std::to_string(i % 10) + "\n";
        while (!stop_ && written_ < static_cast<int>(text.size())) {
            pollfd ready{master_, POLLOUT, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            const ssize_t n = ::write(master_, text.data() + written_, text.size() - written_);
            if (n > 0) written_ += static_cast<int>(n);
        }
    }

    int master_;
    int lines_;
    std::atomic<int> written_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Holds the program's standard output until it says the output is not taken.
bool stallOutput(test::RunningProgram& read) {
    read.holdOutput(true);
    const std::string notice = workerText("output.not.taken", {"#"});
    const std::string noticeStart = notice.substr(0, notice.find('#'));
    for (int i = 0; i < 3000 && read.err().find(noticeStart) == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    return read.err().find(noticeStart) != std::string::npos;
}

std::vector<std::string> flooded(const test::Pty& pty) {
    return readArguments(pty, {"--set", "instrument=BARCODE_ALPHA", "--set", "inputTerminator=10"});
}

TEST(ReadCommandTest, AStalledOutputHoldsReadingWithBoundedMemoryAndLosesNoLine) {
    test::Pty pty;
    test::RunningProgram read(SCALINO_CLI, flooded(pty));
    awaitOpened(read);
    const long before = statusKiB(read.pid(), "VmRSS:");
    constexpr int kLines = 400'000;
    FloodingInstrument instrument(pty, kLines);
    ASSERT_TRUE(stallOutput(read)) << "no notice that the output is not taken:\n" << read.err();
    // Reading waits: the port's buffer takes the pressure, and the instrument's writes wait.
    EXPECT_LT(statusKiB(read.pid(), "VmRSS:") - before, 8 * 1024);
    EXPECT_LT(instrument.sent(), kLines);

    read.holdOutput(false);
    int wrong = 0;
    for (int count = 1; count <= kLines; ++count) {
        const auto line = read.readLine(30s);
        ASSERT_TRUE(line) << "line " << count << " did not arrive";
        const std::string expected = FloodingInstrument::printed(count);
        if (*line != expected && wrong++ < 5) ADD_FAILURE() << *line << " instead of " << expected;
    }
    read.signal(SIGINT);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(ReadCommandTest, ASignalEndsReadingWhileTheOutputIsStalledAndTheLinesReadStillArrive) {
    test::Pty pty;
    test::RunningProgram read(SCALINO_CLI, flooded(pty));
    awaitOpened(read);
    FloodingInstrument instrument(pty, 400'000);
    ASSERT_TRUE(stallOutput(read)) << "no notice that the output is not taken:\n" << read.err();
    const int sentBefore = instrument.sent();
    read.signal(SIGINT);
    // The reader stops at once: it takes what is left in the port to report it, and the
    // instrument can write again. Standard output is still held.
    EXPECT_TRUE(instrument.awaitMoreThan(sentBefore, 30s)) << "the reader did not stop";

    read.holdOutput(false);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    std::istringstream lines(result.out);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line != FloodingInstrument::printed(++count)) {
            ADD_FAILURE() << line << " instead of " << FloodingInstrument::printed(count);
            break;
        }
    }
    EXPECT_GT(count, 0);
    EXPECT_NE(result.err.find(workerText("stopped")), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(workerText("unread.lines", {""})), std::string::npos);
}

TEST(ReadCommandTest, OutputThatCannotBeWrittenStopsReadingWithStatus3) {
    test::Pty pty;
    std::string command = "exec " + std::string(SCALINO_CLI);
    for (const auto& argument : readArguments(pty, {}))
        command += " " + argument;
    test::RunningProgram read("/bin/sh", {"-c", command + " > /dev/full"});
    awaitOpened(read);
    pty.send(bytes("5\r6\r"));
    const std::string message =
        std::string("scalino-cli read: the output could not be written: ") + std::strerror(ENOSPC);
    for (int i = 0; i < 3000 && read.err().find(message) == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    if (read.err().find(message) == std::string::npos) read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 3) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(workerText("stopped")), std::string::npos) << result.err;
}

TEST(ReadCommandTest, PortsThatCannotBeOpenedAndBadOptions) {
    const auto missing =
        test::runProgram(SCALINO_CLI, {"read", "--port", "/dev/nonexistent-tty"}, "");
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("/dev/nonexistent-tty"), std::string::npos) << missing.err;

    const auto noPort = test::runProgram(SCALINO_CLI, {"read", "--set", "port="}, "");
    EXPECT_EQ(noPort.exitStatus, 1);
    // The command line's way to the setting, not the window's.
    const std::string noPortText =
        workerText("null.port.error", {workerText("setting.option.any", {"port"})});
    EXPECT_NE(noPort.err.find(noPortText), std::string::npos) << noPort.err;

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"read", "--baud", "9601"},
                                                {"read", "--keyboard", "record"},
                                                {"read", "--type", "--keyboard", "telepathy"},
                                                {"read", "--set", "dataBits=9"}}) {
        EXPECT_EQ(test::runProgram(SCALINO_CLI, bad, "").exitStatus, 2) << bad[1];
    }
}

// --type takes the setting's way without --keyboard; X11 cannot start without a display, and
// a run whose keys cannot go anywhere stops before it reads.
TEST(ReadCommandTest, TypingTakesTheKeyboardOutputSettingWithoutKeyboard) {
    test::Pty pty;
    const auto result =
        test::runProgram(SCALINO_CLI, readArguments(pty, {"--type", "--set", "keyboardOutput=X11"}),
                         "", {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(result.exitStatus, 1);
    // Why X11 cannot start: no display, or a build without X11.
    const std::string why = SCALINO_WITH_X11 ? "no X display: DISPLAY is not set"
                                             : "this build has no X11 keyboard output; use "
                                               "--keyboard wayland or uinput";
    EXPECT_EQ(result.err, "scalino-cli read: " + workerText("error.initializing.keyboard.output") +
                              why + "\n");
    EXPECT_EQ(result.out, "");
}

TEST(ReadCommandTest, DefaultsReadTheInstrumentsLinesAsItSendsThem) {
    test::Pty pty;
    // The balance ends its lines with LF; the stored terminator (CR) would never end one.
    test::RunningProgram read(SCALINO_CLI, {"read", "--port", pty.path(), "--set",
                                            "instrument=and_simple", "--defaults"});
    awaitOpened(read);
    pty.send(bytes("ST,+00012.34  g\r\n"));
    EXPECT_EQ(read.readLine(30s), "1\t12.34\t0\tST,+00012.34  g<13><10>");
    read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("scalino-cli read: line settings of AND_SIMPLE: 2400 7E1 LF\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(" opened: 2400 bit/s, 7 data bits"), std::string::npos);
}

// Without --port, read says which port it takes and why, and refuses one that is not there.
class ReadStoredPortTest : public ::testing::Test {
protected:
    test::ProcessResult store(const std::string& port) {
        return test::runProgram(SCALINO_CLI, {"settings", "--prefs", prefs_.string(), "--set",
                                              "port=" + port, "--save"},
                                "");
    }

    test::TempDir dir_;
    std::filesystem::path prefs_ = dir_ / "prefs.txt";
};

TEST_F(ReadStoredPortTest, TheStoredPortIsNamedWhenItIsPresent) {
    test::Pty pty;
    ASSERT_EQ(store(pty.path()).exitStatus, 0);
    test::RunningProgram read(SCALINO_CLI,
                              {"-q", "read", "--prefs", prefs_.string(), "--set", "dataBits=8"},
                              // Discovery does not list a pseudo-terminal, but it is there.
                              {"SERIAL_PORT_LIST=/dev/ttyUSB7:/dev/ttyUSB8"});
    awaitOpened(read);
    pty.send(bytes("5\r"));
    EXPECT_EQ(read.readLine(30s), "1\t5\t0\t5<13>");
    read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(result.err.starts_with("scalino-cli read: reading " + pty.path() +
                                       ", the port of the stored settings (--port names "
                                       "another)\n"))
        << result.err;
}

TEST_F(ReadStoredPortTest, AStoredPortThatIsNotPresentIsRefusedWithThePortsThatAre) {
    ASSERT_EQ(store("/dev/ttyUSB9").exitStatus, 0);
    const auto result =
        test::runProgram(SCALINO_CLI, {"-q", "read", "--prefs", prefs_.string()}, "",
                         {"SERIAL_PORT_LIST=/dev/ttyUSB7:/dev/ttyACM0"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    const std::string expected =
        "scalino-cli read: /dev/ttyUSB9, the port of the stored settings, is not present\n"
        "scalino-cli read: the ports present are:\n"
        "  /dev/ttyUSB7\t";
    EXPECT_TRUE(result.err.starts_with(expected)) << result.err;
    EXPECT_NE(result.err.find("\n  /dev/ttyACM0\t"), std::string::npos);
    EXPECT_TRUE(result.err.ends_with(
        "scalino-cli read: name the instrument's port with --port, for example --port "
        "/dev/ttyUSB7\n"))
        << result.err;

}

}  // namespace
}  // namespace scalino
