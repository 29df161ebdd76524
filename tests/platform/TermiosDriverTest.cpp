// The termios driver against real pseudo-terminals: the test holds the master side (the
// "instrument"), the driver opens the slave by its path as it would open /dev/ttyUSB0.
#include "platform/TermiosDriver.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
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

bool dropToNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

// The errno of an open of path by a process without privileges (0 when it opened).
int openErrnoUnprivileged(const std::string& path) {
    auto attempt = [&path]() {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
            return 0;
        }
        return errno;
    };
    if (::geteuid() != 0) return attempt();
    return inChild([&] { return dropToNobody() ? attempt() : 254; });
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
            } else if (b == NativeDriver::kNoByte) {
                if (driver.serWaitForInput(handle, 5000) != WaitResult::Ready) break;
            } else {
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

TEST_F(TermiosDriverTest, OpenStoresTheOneBasedPortNumberAndReusesClosedSlots) {
    EXPECT_EQ(handle, 0);
    Pty second;
    SerialConfig secondConfig;
    ASSERT_EQ(openPty(second, secondConfig), 0) << driver.serLastError(-1);
    EXPECT_EQ(secondConfig.getPort(), 2);

    EXPECT_EQ(driver.serClosePort(handle), 0);
    EXPECT_EQ(driver.serClosePort(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serLastError(handle), "");

    Pty third;
    SerialConfig thirdConfig;
    ASSERT_EQ(openPty(third, thirdConfig), 0) << driver.serLastError(-1);
    EXPECT_EQ(thirdConfig.getPort(), 1);

    // The first port can be opened again after its close.
    EXPECT_EQ(driver.serClosePort(0), 0);
    ASSERT_EQ(openPty(pty, config), 0) << driver.serLastError(-1);
    EXPECT_EQ(config.getPort(), 1);
}

TEST_F(TermiosDriverTest, SecondOpenInTheSameProcessIsInUse) {
    SerialConfig again(pty.path());
    EXPECT_EQ(driver.serOpenPort(again), NativeDriver::kInUse);
    EXPECT_NE(driver.serLastError(-1).find("in use"), std::string::npos);

    ASSERT_EQ(driver.serClosePort(handle), 0);
    EXPECT_EQ(driver.serOpenPort(again), 0) << driver.serLastError(-1);
}

TEST_F(TermiosDriverTest, SameDeviceUnderAnotherNameIsInUse) {
    ASSERT_EQ(driver.serClosePort(handle), 0);
    TempDir dir;
    const std::string link = dir.file("by-id-link");
    ASSERT_EQ(::symlink(pty.path().c_str(), link.c_str()), 0);
    SerialConfig byLink(link);
    ASSERT_EQ(driver.serOpenPort(byLink), 0) << driver.serLastError(-1);
    SerialConfig byPath(pty.path());
    EXPECT_EQ(driver.serOpenPort(byPath), NativeDriver::kInUse);
}

TEST_F(TermiosDriverTest, PortOpenInAnotherProcessIsInUse) {
    ASSERT_EQ(driver.serClosePort(handle), 0);
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool talked = false;
        {
            // Closed by the destructor, as the other program would close it.
            TermiosDriver other;
            SerialConfig c(pty.path());
            const char code = other.serOpenPort(c) == 0 ? 'y' : 'n';
            char go;
            talked = ::write(toParent[1], &code, 1) == 1 && ::read(toChild[0], &go, 1) == 1;
        }
        ::_exit(talked ? 0 : 2);
    }
    char opened = 0;
    ASSERT_EQ(::read(toParent[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'y');

    SerialConfig mine(pty.path());
    EXPECT_EQ(driver.serOpenPort(mine), NativeDriver::kInUse);

    const char go = 'g';
    ASSERT_EQ(::write(toChild[1], &go, 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        ::close(fd);
    EXPECT_EQ(driver.serOpenPort(mine), 0) << driver.serLastError(-1);
}

TEST_F(TermiosDriverTest, OtherOpenersWithoutPrivilegesAreKeptOutUntilClose) {
    ASSERT_EQ(::chmod(pty.path().c_str(), 0666), 0);
    EXPECT_EQ(openErrnoUnprivileged(pty.path()), EBUSY);
    ASSERT_EQ(driver.serClosePort(handle), 0);
    // The test's own slave descriptor keeps the tty alive, so this shows TIOCNXCL on close.
    EXPECT_EQ(openErrnoUnprivileged(pty.path()), 0);
}

struct OpenFailureCase {
    const char* name;
    std::function<std::string(const TempDir&)> makePath;
    int code;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class TermiosOpenFailureTest : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(TermiosOpenFailureTest, ReportsTheCodeAndWhy) {
    TempDir dir;
    const std::string path = GetParam().makePath(dir);
    TermiosDriver driver;
    SerialConfig config(path);
    EXPECT_EQ(driver.serOpenPort(config), GetParam().code);
    EXPECT_EQ(config.getPort(), 0);
    EXPECT_NE(driver.serLastError(-1).find(path), std::string::npos) << driver.serLastError(-1);
}

std::string regularFile(const TempDir& dir) {
    const std::string path = dir.file("plain");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0666);
    EXPECT_GE(fd, 0);
    ::close(fd);
    return path;
}

const OpenFailureCase kOpenFailures[] = {
    {"Nonexistent", [](const TempDir& d) { return d.file("ttyUSB9"); },
     NativeDriver::kNoSuchDevice},
    {"CharDeviceThatIsNoTty", [](const TempDir&) { return std::string("/dev/null"); },
     NativeDriver::kNotValid},
    {"RegularFile", regularFile, NativeDriver::kNotValid},
    {"Directory", [](const TempDir& d) { return d.path(); }, NativeDriver::kNotValid},
    {"FileUsedAsDirectory", [](const TempDir& d) { return regularFile(d) + "/ttyS0"; },
     NativeDriver::kNotValid},
    {"SymlinkLoop",
     [](const TempDir& d) {
         const std::string path = d.file("loop");
         EXPECT_EQ(::symlink(path.c_str(), path.c_str()), 0);
         return path;
     },
     NativeDriver::kNotValid},
};

INSTANTIATE_TEST_SUITE_P(Termios, TermiosOpenFailureTest, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TermiosPermissionTest, PortWithoutAccessIsPermissionDenied) {
    Pty pty;
    int code = 0;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(pty.path().c_str(), 0660), 0);
        // The exit status carries the code less 1000 (0..255).
        code = 1000 + inChild([&] {
                   if (!dropToNobody()) return 254;
                   TermiosDriver driver;
                   SerialConfig config(pty.path());
                   return driver.serOpenPort(config) - 1000;
               });
    } else {
        ASSERT_EQ(::chmod(pty.path().c_str(), 0), 0);
        TermiosDriver driver;
        SerialConfig config(pty.path());
        code = driver.serOpenPort(config);
    }
    EXPECT_EQ(code, NativeDriver::kPermissionDenied);
}

TEST(TermiosHintTest, PermissionHintNamesTheGroupThatGrantsAccess) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file the group dialout";
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "this system has no group dialout";
    TempDir dir;
    const std::string path = regularFile(dir);
    ASSERT_EQ(::chown(path.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    TermiosDriver driver;
    const std::string hint =
        driver.serOpenFailureHint(SerialConfig(path), NativeDriver::kPermissionDenied);
    EXPECT_EQ(hint,
              "Add your user to the group dialout (sudo usermod -aG dialout $USER), then log out "
              "and back in.");
}

TEST(TermiosHintTest, PermissionHintWithoutAGroupThatGrantsAccess) {
    TempDir dir;
    const std::string path = regularFile(dir);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    TermiosDriver driver;
    const std::string hint =
        driver.serOpenFailureHint(SerialConfig(path), NativeDriver::kPermissionDenied);
    EXPECT_NE(hint.find("administrator"), std::string::npos) << hint;
    EXPECT_NE(hint.find(path), std::string::npos) << hint;
    EXPECT_EQ(hint.find("usermod"), std::string::npos) << hint;
}

TEST(TermiosHintTest, HintsForTheOtherCodes) {
    TermiosDriver driver;
    const SerialConfig config("/dev/ttyUSB0");
    EXPECT_EQ(driver.serOpenFailureHint(config, NativeDriver::kInUse),
              "Another program is using the port; close it and try again.");
    const std::string unplugged =
        "Check that the adapter is plugged in; the port name may have changed (see scalino-cli "
        "ports).";
    EXPECT_EQ(driver.serOpenFailureHint(config, NativeDriver::kNoSuchDevice), unplugged);
    EXPECT_EQ(driver.serOpenFailureHint(config, NativeDriver::kNoSuchDeviceNode), unplugged);
    EXPECT_EQ(driver.serOpenFailureHint(config, NativeDriver::kNotValid), "");
    EXPECT_EQ(driver.serOpenFailureHint(config, 1105), "");
}

// ---- line settings --------------------------------------------------------------------------

TEST(TermiosRawModeTest, OpenSwitchesToRawModeAndCloseRestores) {
    Pty pty;
    termios before = pty.slaveSettings();
    ASSERT_NE(before.c_lflag & ICANON, 0u) << "a new pty starts in canonical mode";
    TermiosDriver driver;
    SerialConfig config(pty.path());
    ASSERT_EQ(driver.serOpenPort(config), 0) << driver.serLastError(-1);

    const termios t = pty.slaveSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
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

struct RateCase {
    int code;
    speed_t expected;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << "code " << c.code;
}

class TermiosBitRateTest : public TermiosDriverTest,
                           public ::testing::WithParamInterface<RateCase> {};

TEST_P(TermiosBitRateTest, ReadsBackAsTheStandardSpeed) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setBitRate(GetParam().code); }), 0)
        << driver.serLastError(handle);
    const termios t = pty.slaveSettings();
    EXPECT_EQ(cfgetospeed(&t), GetParam().expected);
    EXPECT_EQ(cfgetispeed(&t), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Termios, TermiosBitRateTest,
                         ::testing::Values(RateCase{0, B110}, RateCase{1, B150}, RateCase{2, B300},
                                           RateCase{3, B600}, RateCase{4, B1200},
                                           RateCase{5, B2400}, RateCase{6, B4800},
                                           RateCase{7, B9600}, RateCase{8, B19200},
                                           RateCase{9, B38400}, RateCase{10, B57600},
                                           RateCase{11, B115200}, RateCase{12, B230400},
                                           RateCase{13, B460800}, RateCase{14, B921600},
                                           // a raw rate above 30 that has a constant of its own
                                           RateCase{9600, B9600}, RateCase{500000, B500000}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.code); });

KernelTermios2 kernelSettings(int fd) {
    KernelTermios2 t{};
    EXPECT_EQ(::ioctl(fd, kTcGets2, &t), 0) << std::strerror(errno);
    return t;
}

TEST_F(TermiosDriverTest, NonStandardRateIsSetExactly) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setBitRate(12345); }), 0)
        << driver.serLastError(handle);
    KernelTermios2 t = kernelSettings(pty.slave());
    EXPECT_EQ(t.c_cflag & CBAUD, kBother);
    EXPECT_EQ(t.c_ospeed, 12345u);
    EXPECT_EQ(t.c_ispeed, 12345u);

    // Back to a standard rate: the custom one must not stick.
    ASSERT_EQ(configure([](SerialConfig& c) { c.setBitRate(SerialConfig::BR_9600); }), 0);
    t = kernelSettings(pty.slave());
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(B9600));
    EXPECT_EQ(t.c_ospeed, 9600u);
}

TEST_F(TermiosDriverTest, RateCodeThatIsNeitherIndexNorRateFails) {
    EXPECT_NE(configure([](SerialConfig& c) { c.setBitRate(20); }), 0);
    EXPECT_NE(driver.serLastError(handle).find("20"), std::string::npos);
}

TEST_F(TermiosDriverTest, StopBitsReadBack) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setStopBits(SerialConfig::ST_2BITS); }), 0)
        << driver.serLastError(handle);
    EXPECT_NE(pty.slaveSettings().c_cflag & CSTOPB, 0u);
    ASSERT_EQ(configure([](SerialConfig& c) { c.setStopBits(SerialConfig::ST_1BITS); }), 0)
        << driver.serLastError(handle);
    EXPECT_EQ(pty.slaveSettings().c_cflag & CSTOPB, 0u);
}

TEST_F(TermiosDriverTest, EightDataBitsWithoutParityReadBack) {
    ASSERT_EQ(configure([](SerialConfig& c) {
                  c.setDataBits(SerialConfig::LN_8BITS);
                  c.setParity(SerialConfig::PY_NONE);
              }),
              0)
        << driver.serLastError(handle);
    const termios t = pty.slaveSettings();
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
}

// A pseudo-terminal keeps 8 data bits and no parity whatever it is asked: the read-back must
// notice instead of reporting settings that are not in force.
struct RefusedCase {
    const char* name;
    int dataBits;
    int parity;
    const char* reason;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class TermiosRefusedSettingTest : public TermiosDriverTest,
                                  public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(TermiosRefusedSettingTest, ConfigureFailsAndSaysWhat) {
    EXPECT_NE(configure([](SerialConfig& c) {
                  c.setDataBits(GetParam().dataBits);
                  c.setParity(GetParam().parity);
              }),
              0);
    EXPECT_EQ(driver.serLastError(handle), GetParam().reason);
    EXPECT_EQ(pty.slaveSettings().c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));
}

INSTANTIATE_TEST_SUITE_P(
    Termios, TermiosRefusedSettingTest,
    ::testing::Values(RefusedCase{"FiveBits", SerialConfig::LN_5BITS, 0,
                                  "the adapter does not support 5 data bits"},
                      RefusedCase{"SixBits", SerialConfig::LN_6BITS, 0,
                                  "the adapter does not support 6 data bits"},
                      RefusedCase{"SevenBits", SerialConfig::LN_7BITS, 0,
                                  "the adapter does not support 7 data bits"},
                      RefusedCase{"Odd", SerialConfig::LN_8BITS, SerialConfig::PY_ODD,
                                  "the adapter does not support odd parity"},
                      RefusedCase{"Even", SerialConfig::LN_8BITS, SerialConfig::PY_EVEN,
                                  "the adapter does not support even parity"},
                      RefusedCase{"Mark", SerialConfig::LN_8BITS, SerialConfig::PY_MARK,
                                  "the adapter does not support mark parity"},
                      RefusedCase{"Space", SerialConfig::LN_8BITS, SerialConfig::PY_SPACE,
                                  "the adapter does not support space parity"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HandshakeCase {
    int code;
    bool rtsCts;
    tcflag_t softFlags;  // IXON (our output) and IXOFF (our input)
};

void PrintTo(const HandshakeCase& c, std::ostream* os) {
    *os << "code " << c.code;
}

class TermiosHandshakeTest : public TermiosDriverTest,
                             public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(TermiosHandshakeTest, ReadsBack) {
    ASSERT_EQ(configure([](SerialConfig& c) { c.setHandshake(GetParam().code); }), 0)
        << driver.serLastError(handle);
    const termios t = pty.slaveSettings();
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, GetParam().rtsCts);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), GetParam().softFlags);
}

INSTANTIATE_TEST_SUITE_P(
    Termios, TermiosHandshakeTest,
    ::testing::Values(
        HandshakeCase{SerialConfig::HS_NONE, false, 0},
        HandshakeCase{SerialConfig::HS_XONXOFF, false, IXON | IXOFF},
        HandshakeCase{SerialConfig::HS_CTSRTS, true, 0},
        HandshakeCase{SerialConfig::HS_HARD_IN, true, 0},
        HandshakeCase{SerialConfig::HS_HARD_OUT, true, 0},
        HandshakeCase{SerialConfig::HS_SOFT_IN, false, IXOFF},
        HandshakeCase{SerialConfig::HS_SOFT_OUT, false, IXON},
        HandshakeCase{SerialConfig::HS_SOFT_IN | SerialConfig::HS_SOFT_OUT, false, IXON | IXOFF},
        HandshakeCase{SerialConfig::HS_HARD_IN | SerialConfig::HS_SOFT_IN, true, IXOFF}),
    [](const auto& info) { return "Code" + std::to_string(info.param.code); });

TEST_F(TermiosDriverTest, DsrDtrHandshakeIsRefusedWithAReason) {
    // Only a record made on a platform that has DSR/DTR flow control can carry the code.
    ProcessProperties::set("os.name", "Windows XP");
    SerialConfig windows(pty.path());
    ProcessProperties::clear("os.name");
    windows.setHandshake(SerialConfig::HS_DSRDTR);
    windows.setPortNum(config.getPort());
    EXPECT_NE(driver.serConfigure(windows), 0);
    EXPECT_NE(driver.serLastError(handle).find("DSR/DTR flow control is not available"),
              std::string::npos)
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

// ---- receiving ------------------------------------------------------------------------------

struct PayloadCase {
    const char* name;
    Bytes bytes;
};

void PrintTo(const PayloadCase& c, std::ostream* os) {
    *os << c.name;
}

Bytes everyByteTwice() {
    Bytes all;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<std::uint8_t>(b));
    }
    return all;
}

class TermiosPayloadTest : public TermiosDriverTest,
                           public ::testing::WithParamInterface<PayloadCase> {};

TEST_P(TermiosPayloadTest, ArrivesUnchangedWithoutErrorFlags) {
    const Bytes& sent = GetParam().bytes;
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

TEST_P(TermiosPayloadTest, SentUnchanged) {
    const Bytes& bytes = GetParam().bytes;
    EXPECT_EQ(driver.serPutData(handle, bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    EXPECT_EQ(pty.receive(bytes.size()), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Termios, TermiosPayloadTest,
    ::testing::Values(PayloadCase{"ControlBytes",
                                  {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0x03, 0x1A, 0x04, 0x1C}},
                      PayloadCase{"LoneFF", {0xFF}}, PayloadCase{"FFRun", {0xFF, 0xFF, 0xFF}},
                      PayloadCase{"LooksLikeAParityMarker", {0xFF, 0x00, 'X', 0xFF, 0x00, 0x00}},
                      PayloadCase{"EveryValueTwice", everyByteTwice()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TermiosDriverTest, PutByteSendsOneByte) {
    EXPECT_EQ(driver.serPutByte(handle, 0xFF), 0);
    EXPECT_EQ(pty.receive(1), (Bytes{0xFF}));
}

TEST_F(TermiosDriverTest, TimeOutZeroReturnsAtOnceWhenNothingWaits) {
    ASSERT_EQ(driver.serGetTimeoutRx(handle), 0);
    const auto start = Clock::now();
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);
    std::uint8_t buffer[8];
    EXPECT_EQ(driver.serGetData(handle, buffer, 8), 0);
    EXPECT_LT(Clock::now() - start, 1s);  // a loose bound: "no waiting", not a speed check
}

TEST_F(TermiosDriverTest, TimeOutWaitsBeforeGivingUp) {
    ASSERT_EQ(driver.serSetTimeoutRx(handle, 200), 0);
    EXPECT_EQ(driver.serGetTimeoutRx(handle), 200);
    auto start = Clock::now();
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kNoByte);
    EXPECT_GE(Clock::now() - start, 150ms);
    start = Clock::now();
    std::uint8_t buffer[8];
    EXPECT_EQ(driver.serGetData(handle, buffer, 8), 0);
    EXPECT_GE(Clock::now() - start, 150ms);
}

TEST_F(TermiosDriverTest, TimeOutEndsWithAByteThatArrivesMeanwhile) {
    ASSERT_EQ(driver.serSetTimeoutRx(handle, 10000), 0);
    std::thread sender([this] {
        std::this_thread::sleep_for(50ms);
        pty.send({'k'});
    });
    EXPECT_EQ(driver.serGetByte(handle), 'k');
    sender.join();
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

TEST_F(TermiosDriverTest, GetDataWaitsForTheFirstByte) {
    ASSERT_EQ(driver.serSetTimeoutRx(handle, 10000), 0);
    std::thread sender([this] {
        std::this_thread::sleep_for(50ms);
        pty.send({'a', 'b'});
    });
    std::uint8_t buffer[4] = {};
    const int n = driver.serGetData(handle, buffer, 4);
    sender.join();
    ASSERT_GE(n, 1);
    EXPECT_EQ(buffer[0], 'a');
}

// ---- unplugging -----------------------------------------------------------------------------

TEST_F(TermiosDriverTest, UnplugDeliversWhatWasReadThenFails) {
    pty.send({'a', 'b', 'c'});
    awaitReadyCount(3);
    ASSERT_EQ(driver.serGetByte(handle), 'a');  // the read took b and c into the driver
    pty.closeMaster();
    EXPECT_EQ(driver.serGetByte(handle), 'b');
    EXPECT_EQ(driver.serWaitForInput(handle, 0), WaitResult::Ready);
    EXPECT_EQ(driver.serGetByte(handle), 'c');
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kFailed);
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kFailed);
    EXPECT_EQ(driver.serWaitForInput(handle, 1000), WaitResult::Failed);
    const std::string why = driver.serLastError(handle);
    EXPECT_NE(why.find("disconnected"), std::string::npos) << why;
    EXPECT_NE(why.find(pty.path()), std::string::npos) << why;

    std::uint8_t buffer[4];
    EXPECT_EQ(driver.serGetData(handle, buffer, 4), NativeDriver::kFailure);
    EXPECT_EQ(driver.serPutData(handle, buffer, 4), NativeDriver::kFailure);
    EXPECT_EQ(driver.serRxReadyCount(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serConfigure(config), 0);
    EXPECT_EQ(driver.serClosePort(handle), 0);
}

TEST_F(TermiosDriverTest, UnplugWhileIdleIsAFailureNotNothingWaiting) {
    pty.closeMaster();
    EXPECT_EQ(driver.serGetByte(handle), NativeDriver::kFailed);
}

TEST_F(TermiosDriverTest, UnplugWithReceiveTimeOutFailsInsteadOfWaiting) {
    ASSERT_EQ(driver.serSetTimeoutRx(handle, 60000), 0);
    pty.closeMaster();
    auto result = std::async(std::launch::async, [this] { return driver.serGetByte(handle); });
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get(), NativeDriver::kFailed);
}

TEST_F(TermiosDriverTest, UnplugEndsAWaitWithoutLimit) {
    auto result =
        std::async(std::launch::async, [this] { return driver.serWaitForInput(handle, -1); });
    std::this_thread::sleep_for(50ms);  // most likely in poll by now; correct either way
    pty.closeMaster();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get(), WaitResult::Failed);
}

// ---- waiting --------------------------------------------------------------------------------

TEST_F(TermiosDriverTest, WaitIsReadyForArrivingData) {
    std::thread sender([this] {
        std::this_thread::sleep_for(20ms);
        pty.send({'r'});
    });
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Ready);
    sender.join();
    EXPECT_EQ(driver.serGetByte(handle), 'r');
}

TEST_F(TermiosDriverTest, WaitTimesOut) {
    EXPECT_EQ(driver.serWaitForInput(handle, 50), WaitResult::TimedOut);
    EXPECT_EQ(driver.serWaitForInput(handle, 0), WaitResult::TimedOut);
}

TEST_F(TermiosDriverTest, InterruptEndsAWaitWithoutLimit) {
    auto result =
        std::async(std::launch::async, [this] { return driver.serWaitForInput(handle, -1); });
    std::this_thread::sleep_for(50ms);
    driver.serInterruptWait(handle);
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get(), WaitResult::Interrupted);
}

TEST_F(TermiosDriverTest, PendingInterruptEndsTheNextWaitOnly) {
    driver.serInterruptWait(handle);
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Interrupted);
    EXPECT_EQ(driver.serWaitForInput(handle, 50), WaitResult::TimedOut);
}

TEST_F(TermiosDriverTest, InterruptDoesNotOutliveTheConnection) {
    driver.serInterruptWait(handle);
    ASSERT_EQ(driver.serClosePort(handle), 0);
    ASSERT_EQ(openPty(pty, config), 0);
    EXPECT_EQ(driver.serWaitForInput(config.getPort() - 1, 50), WaitResult::TimedOut);
}

TEST_F(TermiosDriverTest, WaitingBytesAreReadyEvenWithAnInterruptPending) {
    pty.send({'1', '2'});
    awaitReadyCount(2);
    ASSERT_EQ(driver.serGetByte(handle), '1');
    driver.serInterruptWait(handle);
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Ready);
    EXPECT_EQ(driver.serGetByte(handle), '2');
    EXPECT_EQ(driver.serWaitForInput(handle, 10000), WaitResult::Interrupted);
}

// ---- counts, flushes, breaks ----------------------------------------------------------------

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

TEST_F(TermiosDriverTest, TransmitCountFlushAndDrain) {
    // A pty reports nothing pending and has no output queue of its own to flush; the calls
    // must still succeed.
    EXPECT_EQ(driver.serTxBufCount(handle), 0);
    EXPECT_EQ(driver.serTxFlush(handle), 0);
    const Bytes bytes{'o', 'k'};
    ASSERT_EQ(driver.serPutData(handle, bytes.data(), 2), 2);
    EXPECT_EQ(driver.serTxDrain(handle), 0);
    EXPECT_EQ(pty.receive(2), bytes);
}

TEST_F(TermiosDriverTest, SendBreakSucceeds) {
    EXPECT_EQ(driver.serSendBreak(handle, 0), 0);
    const auto start = Clock::now();
    EXPECT_EQ(driver.serSendBreak(handle, 30), 0);
    EXPECT_GE(Clock::now() - start, 25ms);  // the break is held for its duration
}

TEST_F(TermiosDriverTest, TransmitTimeOutEndsAWriteThatCannotFinish) {
    // Nobody reads the master, so the pty's buffers fill up.
    ASSERT_EQ(driver.serSetTimeoutTx(handle, 100), 0);
    EXPECT_EQ(driver.serGetTimeoutTx(handle), 100);
    const Bytes lots(4 << 20, 'z');
    const int sent = driver.serPutData(handle, lots.data(), static_cast<int>(lots.size()));
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(lots.size()));
    EXPECT_NE(driver.serLastError(handle).find("time-out"), std::string::npos)
        << driver.serLastError(handle);
}

TEST_F(TermiosDriverTest, TransmitTimeOutZeroWaitsForRoom) {
    ASSERT_EQ(driver.serGetTimeoutTx(handle), 0);
    Bytes lots(1 << 20);
    for (std::size_t i = 0; i < lots.size(); ++i)
        lots[i] = static_cast<std::uint8_t>(i * 13);
    auto reader = std::async(std::launch::async, [&] { return pty.receive(lots.size()); });
    EXPECT_EQ(driver.serPutData(handle, lots.data(), static_cast<int>(lots.size())),
              static_cast<int>(lots.size()));
    EXPECT_EQ(reader.get(), lots);
}

// ---- modem lines and status -----------------------------------------------------------------

TEST_F(TermiosDriverTest, ModemLinesOfAPtyFailWithAReason) {
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"setRTS", [this] { return driver.serSetRTS(handle, true); }},
        {"clearRTS", [this] { return driver.serSetRTS(handle, false); }},
        {"setDTR", [this] { return driver.serSetDTR(handle, true); }},
        {"sigCTS", [this] { return driver.serSigCTS(handle); }},
        {"sigDSR", [this] { return driver.serSigDSR(handle); }},
        {"sigCD", [this] { return driver.serSigCD(handle); }},
        {"sigRing", [this] { return driver.serSigRing(handle); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        // Leave another reason behind first, so each call must give its own.
        ASSERT_EQ(driver.serSetTimeoutRx(handle, -1), NativeDriver::kFailure);
        EXPECT_EQ(call(), NativeDriver::kFailure);
        EXPECT_EQ(driver.serLastError(handle),
                  "modem-control lines are not available on this port");
    }
}

TEST_F(TermiosDriverTest, OverrunCountersOfAPtyAreUnavailable) {
    EXPECT_EQ(driver.serSigOverrun(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serLastError(handle), "");
    EXPECT_EQ(driver.serRxOverflow(handle), NativeDriver::kFailure);
}

TEST_F(TermiosDriverTest, CallsOnHandlesThatAreNotOpenFail) {
    ASSERT_EQ(driver.serClosePort(handle), 0);
    std::uint8_t buffer[4] = {};
    for (int h : {handle, 7, -1, TermiosDriver::kMaxPorts}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(driver.serGetByte(h), NativeDriver::kFailed);
        EXPECT_EQ(driver.serGetData(h, buffer, 4), NativeDriver::kFailure);
        EXPECT_EQ(driver.serPutData(h, buffer, 4), NativeDriver::kFailure);
        EXPECT_EQ(driver.serRxReadyCount(h), NativeDriver::kFailure);
        EXPECT_EQ(driver.serSetTimeoutRx(h, 5), NativeDriver::kFailure);
        EXPECT_EQ(driver.serWaitForInput(h, 0), WaitResult::Failed);
        EXPECT_EQ(driver.serClosePort(h), NativeDriver::kFailure);
        EXPECT_NE(driver.serLastError(h), "");
        driver.serInterruptWait(h);  // harmless
    }
    EXPECT_NE(driver.serConfigure(config), 0);
}

TEST_F(TermiosDriverTest, NegativeTimeOutsAreRefused) {
    EXPECT_EQ(driver.serSetTimeoutRx(handle, -5), NativeDriver::kFailure);
    EXPECT_EQ(driver.serSetTimeoutTx(handle, -5), NativeDriver::kFailure);
    EXPECT_EQ(driver.serGetTimeoutRx(handle), 0);
    EXPECT_EQ(driver.serGetTimeoutTx(handle), 0);
}

TEST_F(TermiosDriverTest, VersionAndDriverReset) {
    EXPECT_EQ(driver.serGetLibVer(), 100);
    EXPECT_EQ(driver.serResetPortDriver(handle), NativeDriver::kFailure);
    EXPECT_NE(driver.serLastError(handle), "");
}

// ---- discovery ------------------------------------------------------------------------------

// Port discovery is its own component; here only the forwarding is under test.
class RecordingDiscovery : public PortDiscovery {
public:
    void discover(PortListSink& sink) override { sink.addPortName("/dev/ttyUSB7"); }
    bool startMonitoring(DeviceNotificationCallback* callback) override {
        started = callback;
        return canMonitor;
    }
    void stopMonitoring() override { ++stops; }

    DeviceNotificationCallback* started = nullptr;
    bool canMonitor = true;
    int stops = 0;
};

class NameSink : public PortListSink {
public:
    void addPortName(const std::string& name) override { names.push_back(name); }
    void addPortInfo(const PortDriverInfo&) override {}
    std::vector<std::string> names;
};

class NoCallback : public DeviceNotificationCallback {
public:
    void deviceNotification() override {}
};

TEST(TermiosDiscoveryTest, WithoutDiscoveryThereIsNothingToList) {
    TermiosDriver driver;
    NameSink sink;
    driver.serGetPortList(sink);
    EXPECT_TRUE(sink.names.empty());
    NoCallback callback;
    EXPECT_EQ(driver.serRegisterDeviceNotification(&callback), NativeDriver::kFailure);
    EXPECT_EQ(driver.serUnregisterDeviceNotification(), NativeDriver::kFailure);
}

TEST(TermiosDiscoveryTest, ForwardsToTheDiscovery) {
    auto owned = std::make_unique<RecordingDiscovery>();
    RecordingDiscovery& discovery = *owned;
    TermiosDriver driver(std::move(owned));
    NameSink sink;
    driver.serGetPortList(sink);
    EXPECT_EQ(sink.names, std::vector<std::string>{"/dev/ttyUSB7"});

    NoCallback callback;
    EXPECT_EQ(driver.serRegisterDeviceNotification(&callback), 0);
    EXPECT_EQ(discovery.started, &callback);
    EXPECT_EQ(driver.serUnregisterDeviceNotification(), 0);
    EXPECT_EQ(discovery.stops, 1);

    discovery.canMonitor = false;
    EXPECT_EQ(driver.serRegisterDeviceNotification(&callback), NativeDriver::kFailure);
}

}  // namespace
}  // namespace scalino
