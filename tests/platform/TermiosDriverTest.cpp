// The termios driver against real pseudo-terminals: the test holds the master side (the
// "instrument"), the driver opens the slave by its path as it would open /dev/ttyUSB0.
// SerialPortPtyTest covers, through the port object, a second open in the same process, modem
// lines, reading lines and stopping a wait.
#include "platform/TermiosDriver.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "rs232/SerialConfig.h"
#include "support/Pty.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Pty;
using Clock = std::chrono::steady_clock;
using WaitResult = NativeDriver::WaitResult;
constexpr auto npos = std::string::npos;

// The kernel's termios2 (TCGETS2), declared here because <asm/termbits.h> cannot be included
// beside <termios.h>; the layout is the generic one of x86 and arm.
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
static_assert(sizeof(KernelTermios2) == 44);
constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
constexpr tcflag_t kBother = 0010000;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "termiosXXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : "";
        EXPECT_FALSE(path_.empty());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string plainFile() const {
        std::ofstream(file("plain")) << 'x';
        return file("plain");
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Runs body in a child process and returns its exit status (body's result, 0..255).
int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// Runs body as a process without privileges: in a child that drops them when this one is root.
int asUnprivileged(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    return inChild([&] {
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
        return dropped ? body() : 254;
    });
}

class TermiosDriverTest : public ::testing::Test {
protected:
    // Opens the pty's slave; the configuration keeps the port number for configure.
    int openPty(Pty& p, SerialConfig& config) {
        config = SerialConfig(p.path());
        return driver.serOpenPort(config);
    }

    void SetUp() override {
        ASSERT_EQ(openPty(pty, config), 0) << driver.serLastError(-1);
        handle = config.getPort() - 1;
    }

    // Reads n bytes the way the acquisition loop does: a byte at a time, waiting when none.
    Bytes receive(std::size_t n) {
        Bytes got;
        while (got.size() < n) {
            const int b = driver.serGetByte(handle);
            if (b >= 0) {
                got.push_back(static_cast<std::uint8_t>(b));
            } else if (b != NativeDriver::kNoByte ||
                       driver.serWaitForInput(handle, 5000) != WaitResult::Ready) {
                break;
            }
        }
        return got;
    }

    // Waits (bounded) until the driver counts n received bytes.
    void awaitReadyCount(int n) {
        const auto deadline = Clock::now() + 5s;
        while (driver.serRxReadyCount(handle) < n && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_EQ(driver.serRxReadyCount(handle), n);
    }

    int configure(const std::function<void(SerialConfig&)>& change) {
        SerialConfig c = config;
        change(c);
        return driver.serConfigure(c);
    }

    Pty pty;
    TermiosDriver driver;  // after pty: closes its ports before the pty goes
    SerialConfig config;
    int handle = -1;
};

// ---- open and close -------------------------------------------------------------------------

TEST_F(TermiosDriverTest, OpenNumbersPortsFromOneAndReusesTheSlotOfAClosedPort) {
    EXPECT_EQ(config.getPort(), 1);
    Pty second, third;
    SerialConfig secondConfig, thirdConfig;
    ASSERT_EQ(openPty(second, secondConfig), 0) << driver.serLastError(-1);
    EXPECT_EQ(secondConfig.getPort(), 2);

    EXPECT_EQ(driver.serClosePort(handle), 0);
    EXPECT_EQ(driver.serClosePort(handle), NativeDriver::kFailure);
    ASSERT_EQ(openPty(third, thirdConfig), 0) << driver.serLastError(-1);
    EXPECT_EQ(thirdConfig.getPort(), 1);
}

// TIOCEXCL does not keep root out; the lock does, whatever the name and process.
TEST_F(TermiosDriverTest, OpenPortIsInUseUnderAnotherNameAndForAnotherProcess) {
    TempDir dir;
    const std::string link = dir.file("by-id-link");
    ASSERT_EQ(::symlink(pty.path().c_str(), link.c_str()), 0);
    SerialConfig byLink(link);
    EXPECT_EQ(driver.serOpenPort(byLink), NativeDriver::kInUse);
    EXPECT_EQ(inChild([this] {
                  TermiosDriver other;
                  SerialConfig again(pty.path());
                  return other.serOpenPort(again) == NativeDriver::kInUse ? 0 : 1;
              }),
              0);
}

TEST_F(TermiosDriverTest, OtherOpenersWithoutPrivilegesAreKeptOutUntilClose) {
    ASSERT_EQ(::chmod(pty.path().c_str(), 0666), 0);
    const auto openErrno = [this] {
        return asUnprivileged([this] {
            const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd < 0 ? errno : ::close(fd);
        });
    };
    EXPECT_EQ(openErrno(), EBUSY);
    ASSERT_EQ(driver.serClosePort(handle), 0);
    // The test's own slave descriptor keeps the tty alive, so this shows TIOCNXCL on close.
    EXPECT_EQ(openErrno(), 0);
}

TEST(TermiosOpenTest, PathsThatAreNoSerialPortFailWithTheCodeAndThePath) {
    TempDir dir;
    const std::string loop = dir.file("loop");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const struct {
        const char* what;
        std::string path;
        int code;
    } cases[] = {
        {"missing", dir.file("ttyUSB9"), NativeDriver::kNoSuchDevice},
        {"character device that is no tty", "/dev/null", NativeDriver::kNotValid},
        {"directory", dir.path(), NativeDriver::kNotValid},
        {"file used as a directory", dir.plainFile() + "/ttyS0", NativeDriver::kNotValid},
        {"symlink loop", loop, NativeDriver::kNotValid},
    };
    TermiosDriver driver;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SerialConfig config(c.path);
        EXPECT_EQ(driver.serOpenPort(config), c.code);
        EXPECT_EQ(config.getPort(), 0);
        EXPECT_NE(driver.serLastError(-1).find(c.path), npos) << driver.serLastError(-1);
    }
}

TEST(TermiosOpenTest, PortWithoutAccessIsPermissionDenied) {
    Pty pty;
    ASSERT_EQ(::chmod(pty.path().c_str(), 0), 0);
    // The exit status of a child carries the code less 1000 (0..255).
    EXPECT_EQ(1000 + asUnprivileged([&] {
                  TermiosDriver driver;
                  SerialConfig config(pty.path());
                  return driver.serOpenPort(config) - 1000;
              }),
              NativeDriver::kPermissionDenied);
}

TEST(TermiosOpenTest, PermissionHintNamesTheGroupThatGrantsAccessElseTheAdministrator) {
    TempDir dir;
    const std::string path = dir.plainFile();
    TermiosDriver driver;
    auto hint = [&] {
        return driver.serOpenFailureHint(SerialConfig(path), NativeDriver::kPermissionDenied);
    };
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_NE(hint().find("administrator"), npos) << hint();
    EXPECT_NE(hint().find(path), npos) << hint();
    EXPECT_EQ(hint().find("usermod"), npos) << hint();

    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file the group dialout";
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "this system has no group dialout";
    ASSERT_EQ(::chown(path.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    EXPECT_NE(hint().find("group dialout (sudo usermod -aG dialout $USER)"), npos) << hint();
}

// ---- line settings --------------------------------------------------------------------------

TEST(TermiosRawModeTest, OpenSwitchesToRawModeAndCloseRestores) {
    Pty pty;
    const termios before = pty.slaveSettings();
    ASSERT_NE(before.c_lflag & ICANON, 0u) << "a new pty starts in canonical mode";
    TermiosDriver driver;
    SerialConfig config(pty.path());
    ASSERT_EQ(driver.serOpenPort(config), 0) << driver.serLastError(-1);

    const termios t = pty.slaveSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    // Without PARMRK parity errors, framing errors and breaks never reach the reader.
    EXPECT_EQ(t.c_iflag & (INPCK | PARMRK), INPCK | PARMRK);
    EXPECT_EQ(t.c_iflag & (IGNPAR | ISTRIP | IGNBRK | BRKINT | ICRNL | IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    ASSERT_EQ(driver.serClosePort(config.getPort() - 1), 0);
    const termios after = pty.slaveSettings();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
}

// Codes 0..14 index the standard rates, larger codes are rates in bit/s. 12345 has no
// B-constant and needs termios2; the 9600 after it shows that it does not stick.
TEST_F(TermiosDriverTest, BitRateReadsBackAsAsked) {
    const struct {
        int code;
        speed_t rate;
    } cases[] = {{SerialConfig::BR_110, 110},
                 {500000, 500000},
                 {12345, 12345},
                 {SerialConfig::BR_9600, 9600}};
    for (const auto& [code, rate] : cases) {
        SCOPED_TRACE("bit rate code " + std::to_string(code));
        ASSERT_EQ(configure([code = code](SerialConfig& c) { c.setBitRate(code); }), 0)
            << driver.serLastError(handle);
        KernelTermios2 t{};
        ASSERT_EQ(::ioctl(pty.slave(), kTcGets2, &t), 0) << std::strerror(errno);
        EXPECT_EQ(t.c_ospeed, rate);
        EXPECT_EQ(t.c_ispeed, rate);
        EXPECT_EQ((t.c_cflag & CBAUD) == kBother, rate == 12345);
    }
}

TEST_F(TermiosDriverTest, StopBitsAndHandshakeReadBack) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setStopBits(SerialConfig::ST_2BITS); }), 0)
        << driver.serLastError(handle);
    EXPECT_NE(pty.slaveSettings().c_cflag & CSTOPB, 0u);
    ASSERT_EQ(configure([](SerialConfig& c) { c.setStopBits(SerialConfig::ST_1BITS); }), 0)
        << driver.serLastError(handle);
    EXPECT_EQ(pty.slaveSettings().c_cflag & CSTOPB, 0u);

    // IXON governs our output, IXOFF our input; Linux has one switch for RTS/CTS both ways.
    const struct {
        int code;
        bool rtsCts;
        tcflag_t soft;
    } cases[] = {
        {SerialConfig::HS_XONXOFF, false, IXON | IXOFF},
        {SerialConfig::HS_CTSRTS, true, 0},
        {SerialConfig::HS_NONE, false, 0},
        {SerialConfig::HS_HARD_OUT, true, 0},
        {SerialConfig::HS_SOFT_IN, false, IXOFF},
        {SerialConfig::HS_SOFT_OUT, false, IXON},
        {SerialConfig::HS_HARD_IN | SerialConfig::HS_SOFT_IN, true, IXOFF},
    };
    for (const auto& [code, rtsCts, soft] : cases) {
        SCOPED_TRACE("handshake code " + std::to_string(code));
        ASSERT_EQ(configure([code = code](SerialConfig& c) { c.setHandshake(code); }), 0)
            << driver.serLastError(handle);
        const termios t = pty.slaveSettings();
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, rtsCts);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), soft);
    }
}

// A pseudo-terminal keeps 8 data bits and no parity whatever it is asked: the read-back must
// notice instead of reporting settings that are not in force, but with nothing framed on the
// way, reading goes on. Each case gets a freshly opened port, so that nothing kept from the
// case before hides a setting that did not take.
TEST_F(TermiosDriverTest, FramingAPseudoTerminalDoesNotKeepIsANoticeAndDataStillArrives) {
    const struct {
        int dataBits, parity, stopBits;
        const char* notTaken;
    } cases[] = {
        {SerialConfig::LN_7BITS, SerialConfig::PY_EVEN, SerialConfig::ST_1BITS,
         "it keeps 8 data bits without parity, so 7 data bits and even parity do not apply"},
        {SerialConfig::LN_7BITS, SerialConfig::PY_ODD, SerialConfig::ST_2BITS,
         "it keeps 8 data bits without parity, so 7 data bits and odd parity do not apply"},
        {SerialConfig::LN_5BITS, SerialConfig::PY_NONE, SerialConfig::ST_1BITS,
         "it keeps 8 data bits, so 5 data bits do not apply"},
        {SerialConfig::LN_8BITS, SerialConfig::PY_MARK, SerialConfig::ST_1BITS,
         "it keeps no parity, so mark parity does not apply"},
        {SerialConfig::LN_8BITS, SerialConfig::PY_SPACE, SerialConfig::ST_2BITS,
         "it keeps no parity, so space parity does not apply"},
    };
    for (const auto& [dataBits, parity, stopBits, notTaken] : cases) {
        SCOPED_TRACE(notTaken);
        ASSERT_EQ(driver.serClosePort(config.getPort() - 1), 0);
        ASSERT_EQ(openPty(pty, config), 0) << driver.serLastError(-1);
        handle = config.getPort() - 1;
        // Structured bindings are captured by copy: clang before 16 cannot capture them.
        ASSERT_EQ(
            configure([dataBits = dataBits, parity = parity, stopBits = stopBits](SerialConfig& c) {
                c.setDataBits(dataBits);
                c.setParity(parity);
                c.setStopBits(stopBits);
            }),
            0)
            << driver.serLastError(handle);
        EXPECT_EQ(
            driver.serConfigureNotice(handle),
            pty.path() + " is a virtual port (pseudo-terminal): " + notTaken + "; reading goes on");
        EXPECT_EQ(driver.serLastError(handle), "");
        // Stop bits do take on a pseudo-terminal.
        EXPECT_EQ((pty.slaveSettings().c_cflag & CSTOPB) != 0, stopBits == SerialConfig::ST_2BITS);

        pty.send({'S', 'T', 0xC1, 0xFF, '\r'});
        EXPECT_EQ(receive(5), (Bytes{'S', 'T', 0xC1, 0xFF, '\r'}));
        EXPECT_EQ(driver.serSigParityErr(handle), 0);
        EXPECT_EQ(driver.serSigFrameErr(handle), 0);
    }
}

TEST_F(TermiosDriverTest, FramingThatTookOrAFailedConfigureLeavesNoNotice) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setDataBits(SerialConfig::LN_7BITS); }), 0)
        << driver.serLastError(handle);
    EXPECT_NE(driver.serConfigureNotice(handle), "");
    ASSERT_EQ(configure([](SerialConfig& c) {
                  c.setDataBits(SerialConfig::LN_8BITS);
                  c.setParity(SerialConfig::PY_NONE);
                  c.setStopBits(SerialConfig::ST_2BITS);
              }),
              0)
        << driver.serLastError(handle);
    EXPECT_EQ(driver.serConfigureNotice(handle), "");

    ASSERT_EQ(configure([](SerialConfig& c) { c.setParity(SerialConfig::PY_EVEN); }), 0);
    EXPECT_NE(driver.serConfigureNotice(handle), "");
    ASSERT_NE(configure([](SerialConfig& c) {
                  c.setParity(SerialConfig::PY_EVEN);
                  c.setBitRate(20);
              }),
              0);
    EXPECT_EQ(driver.serConfigureNotice(handle), "");
    EXPECT_EQ(driver.serConfigureNotice(-1), "");
}

TEST_F(TermiosDriverTest, RequestsThatLinuxCannotServeFailWithAReason) {
    EXPECT_NE(configure([](SerialConfig& c) { c.setBitRate(20); }), 0);  // neither index nor rate
    EXPECT_NE(driver.serLastError(handle).find("20"), npos) << driver.serLastError(handle);

    // Only a record made on a platform that has DSR/DTR flow control can carry the code.
    ProcessProperties::set("os.name", "Windows XP");
    SerialConfig windows(pty.path());
    ProcessProperties::clear("os.name");
    windows.setHandshake(SerialConfig::HS_DSRDTR);
    windows.setPortNum(config.getPort());
    EXPECT_NE(driver.serConfigure(windows), 0);
    EXPECT_NE(driver.serLastError(handle).find("DSR/DTR flow control is not available"), npos)
        << driver.serLastError(handle);
}

TEST_F(TermiosDriverTest, ConfigureKeepsBytesAlreadyReceived) {
    pty.send({'x', 'y', 'z'});
    awaitReadyCount(3);
    EXPECT_EQ(driver.serGetByte(handle), 'x');  // y and z now wait in the driver
    pty.send({'w'});
    awaitReadyCount(3);  // ...and w in the kernel
    ASSERT_EQ(configure([](SerialConfig& c) {
                  c.setBitRate(SerialConfig::BR_19200);
                  c.setStopBits(SerialConfig::ST_2BITS);
              }),
              0)
        << driver.serLastError(handle);
    EXPECT_EQ(receive(3), (Bytes{'y', 'z', 'w'}));
}

// ---- receiving and sending ------------------------------------------------------------------

// PARMRK doubles a received 0xFF and marks faulty bytes as 0xFF 0x00 X; data that merely looks
// like a marker must come through as sent, with no error flag raised.
TEST_F(TermiosDriverTest, EveryByteValueArrivesUnchangedWithoutErrorFlags) {
    Bytes sent(256);
    std::iota(sent.begin(), sent.end(), 0);
    sent.insert(sent.begin(), {0xFF, 0x00, 'X', 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF});
    pty.send(sent);
    Bytes got;
    while (got.size() < sent.size()) {
        const Bytes one = receive(1);
        ASSERT_EQ(one.size(), 1u) << "after " << got.size() << " bytes";
        got.push_back(one[0]);
        // Queried after every byte, as the acquisition loop does.
        EXPECT_EQ(driver.serSigParityErr(handle), 0) << "at byte " << got.size();
        EXPECT_EQ(driver.serSigFrameErr(handle), 0) << "at byte " << got.size();
        EXPECT_EQ(driver.serSigBreak(handle), 0) << "at byte " << got.size();
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);
}

TEST_F(TermiosDriverTest, WithNothingThereReadsAndWaitsReturnAtOnceOrAfterTheirTimeOut) {
    std::uint8_t buffer[8];
    auto start = Clock::now();
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);
    EXPECT_EQ(driver.serGetData(handle, buffer, 8), 0);
    EXPECT_EQ(driver.serWaitForInput(handle, 0), WaitResult::TimedOut);
    EXPECT_LT(Clock::now() - start, 1s);  // a loose bound: "no waiting", not a speed check

    ASSERT_EQ(driver.serSetTimeoutRx(handle, 200), 0);
    EXPECT_EQ(driver.serSetTimeoutRx(handle, -5), NativeDriver::kFailure);
    EXPECT_EQ(driver.serGetTimeoutRx(handle), 200);
    start = Clock::now();
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);
    EXPECT_EQ(driver.serGetData(handle, buffer, 8), 0);
    EXPECT_EQ(driver.serWaitForInput(handle, 50), WaitResult::TimedOut);
    EXPECT_GE(Clock::now() - start, 400ms);  // 200 + 200 + 50, less a margin
}

TEST_F(TermiosDriverTest, WaitsAndReadsWithATimeOutEndWhenDataArrives) {
    ASSERT_EQ(driver.serSetTimeoutRx(handle, 10000), 0);
    std::thread sender([this] {
        for (const Bytes& bytes : {Bytes{'r'}, Bytes{'k'}, Bytes{'a', 'b'}}) {
            std::this_thread::sleep_for(50ms);
            pty.send(bytes);
        }
    });
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Ready);
    EXPECT_EQ(driver.serGetByte(handle), 'r');
    EXPECT_EQ(driver.serGetByte(handle), 'k');
    std::uint8_t buffer[4] = {};
    const int n = driver.serGetData(handle, buffer, 4);
    sender.join();
    ASSERT_GE(n, 1);
    EXPECT_EQ(buffer[0], 'a');
}

TEST_F(TermiosDriverTest, GetDataReturnsWhatIsThereUpToCount) {
    pty.send({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    awaitReadyCount(10);
    std::uint8_t buffer[100] = {};
    ASSERT_EQ(driver.serGetData(handle, buffer, 4), 4);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{'0', '1', '2', '3'}));
    ASSERT_EQ(driver.serGetData(handle, buffer, 100), 6);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{'4', '5', '6', '7', '8', '9'}));
    EXPECT_EQ(driver.serGetData(handle, buffer, 100), 0);
}

TEST_F(TermiosDriverTest, TransmitControlsSucceedAndABreakIsHeldForItsDuration) {
    EXPECT_EQ(driver.serPutByte(handle, 0xFF), 0);
    EXPECT_EQ(pty.receive(1), Bytes{0xFF});
    // A pty reports nothing pending and has no output queue of its own to flush.
    EXPECT_EQ(driver.serTxBufCount(handle), 0);
    EXPECT_EQ(driver.serTxFlush(handle), 0);
    EXPECT_EQ(driver.serTxDrain(handle), 0);
    EXPECT_EQ(driver.serSendBreak(handle, 0), 0);
    const auto start = Clock::now();
    EXPECT_EQ(driver.serSendBreak(handle, 30), 0);
    EXPECT_GE(Clock::now() - start, 25ms);
}

TEST_F(TermiosDriverTest, TransmitTimeOutEndsAWriteThatCannotFinish) {
    // Nobody reads the master, so the pty's buffers fill up.
    ASSERT_EQ(driver.serSetTimeoutTx(handle, 100), 0);
    EXPECT_EQ(driver.serSetTimeoutTx(handle, -5), NativeDriver::kFailure);
    EXPECT_EQ(driver.serGetTimeoutTx(handle), 100);
    const Bytes lots(4 << 20, 'z');
    const int sent = driver.serPutData(handle, lots.data(), static_cast<int>(lots.size()));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(lots.size()));
    EXPECT_NE(driver.serLastError(handle).find("time-out"), npos) << driver.serLastError(handle);
}

// Every byte value, and more than the pty buffers hold.
TEST_F(TermiosDriverTest, WithoutTransmitTimeOutALargeWriteWaitsForRoomAndArrivesUnchanged) {
    Bytes lots(1 << 20);
    for (std::size_t i = 0; i < lots.size(); ++i)
        lots[i] = static_cast<std::uint8_t>(i * 13);
    auto reader = std::async(std::launch::async, [&] { return pty.receive(lots.size()); });
    EXPECT_EQ(driver.serPutData(handle, lots.data(), static_cast<int>(lots.size())),
              static_cast<int>(lots.size()));
    EXPECT_EQ(reader.get(), lots);
}

// ---- unplugging -----------------------------------------------------------------------------

TEST_F(TermiosDriverTest, UnplugDeliversWhatWasReadThenEveryCallFails) {
    pty.send({'a', 'b', 'c'});
    awaitReadyCount(3);
    ASSERT_EQ(driver.serGetByte(handle), 'a');  // the read took b and c into the driver
    pty.closeMaster();
    EXPECT_EQ(driver.serGetByte(handle), 'b');
    EXPECT_EQ(driver.serWaitForInput(handle, 0), WaitResult::Ready);
    EXPECT_EQ(driver.serGetByte(handle), 'c');
    ASSERT_EQ(driver.serGetByte(handle), NativeDriver::kFailed);  // not kNoByte: waits would spin
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kFailed);
    EXPECT_EQ(driver.serWaitForInput(handle, 1000), WaitResult::Failed);
    const std::string why = driver.serLastError(handle);
    EXPECT_NE(why.find("disconnected"), npos) << why;
    EXPECT_NE(why.find(pty.path()), npos) << why;

    std::uint8_t buffer[4];
    EXPECT_EQ(driver.serGetData(handle, buffer, 4), NativeDriver::kFailure);
    EXPECT_EQ(driver.serPutData(handle, buffer, 4), NativeDriver::kFailure);
    EXPECT_EQ(driver.serRxReadyCount(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serConfigure(config), 0);
    EXPECT_EQ(driver.serClosePort(handle), 0);
}

TEST_F(TermiosDriverTest, UnplugEndsAWaitWithoutLimit) {
    auto result =
        std::async(std::launch::async, [this] { return driver.serWaitForInput(handle, -1); });
    std::this_thread::sleep_for(50ms);  // most likely in poll by now; correct either way
    pty.closeMaster();
    if (result.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the wait did not end";
        driver.serInterruptWait(handle);
    }
    EXPECT_EQ(result.get(), WaitResult::Failed);
}

// ---- waiting --------------------------------------------------------------------------------

// An interrupt ends the next wait that finds nothing to hand out, on this connection only.
TEST_F(TermiosDriverTest, PendingInterruptEndsOnlyTheNextWaitThatFindsNothing) {
    pty.send({'1', '2'});
    awaitReadyCount(2);
    ASSERT_EQ(driver.serGetByte(handle), '1');
    driver.serInterruptWait(handle);
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Ready);
    EXPECT_EQ(driver.serGetByte(handle), '2');
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Interrupted);
    EXPECT_EQ(driver.serWaitForInput(handle, 50), WaitResult::TimedOut);

    driver.serInterruptWait(handle);
    ASSERT_EQ(driver.serClosePort(handle), 0);
    ASSERT_EQ(openPty(pty, config), 0);
    EXPECT_EQ(driver.serWaitForInput(config.getPort() - 1, 50), WaitResult::TimedOut);
}

// ---- counts, status, handles ----------------------------------------------------------------

TEST_F(TermiosDriverTest, ReceiveCountAndFlush) {
    EXPECT_EQ(driver.serRxReadyCount(handle), 0);
    pty.send({'a', 'b', 'c', 'd', 'e'});
    awaitReadyCount(5);
    ASSERT_EQ(driver.serGetByte(handle), 'a');
    EXPECT_EQ(driver.serRxReadyCount(handle), 4);

    pty.send({'f'});
    awaitReadyCount(5);
    EXPECT_EQ(driver.serRxFlush(handle), 0);  // both what the driver holds and the kernel
    EXPECT_EQ(driver.serRxReadyCount(handle), 0);
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);

    pty.send({'g'});
    EXPECT_EQ(receive(1), (Bytes{'g'}));
}

TEST_F(TermiosDriverTest, OverrunCountersAndDriverResetAreUnavailableWithAReason) {
    EXPECT_EQ(driver.serSigOverrun(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serLastError(handle), "");
    EXPECT_EQ(driver.serRxOverflow(handle), NativeDriver::kFailure);
    EXPECT_EQ(driver.serResetPortDriver(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serLastError(handle).find("reset"), npos) << driver.serLastError(handle);
}

TEST_F(TermiosDriverTest, CallsOnHandlesThatAreNotOpenFail) {
    ASSERT_EQ(driver.serClosePort(handle), 0);
    std::uint8_t buffer[4] = {};
    for (int h : {handle, 7, -1, TermiosDriver::kMaxPorts}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(driver.serGetByte(h), NativeDriver::kFailed);
        EXPECT_EQ(driver.serGetData(h, buffer, 4), NativeDriver::kFailure);
        EXPECT_EQ(driver.serPutData(h, buffer, 4), NativeDriver::kFailure);
        EXPECT_EQ(driver.serSetTimeoutRx(h, 5), NativeDriver::kFailure);
        EXPECT_EQ(driver.serWaitForInput(h, 0), WaitResult::Failed);
        EXPECT_EQ(driver.serClosePort(h), NativeDriver::kFailure);
        EXPECT_NE(driver.serLastError(h), "");
        driver.serInterruptWait(h);  // harmless
    }
    EXPECT_NE(driver.serConfigure(config), 0);
}

}  // namespace
}  // namespace scalino
