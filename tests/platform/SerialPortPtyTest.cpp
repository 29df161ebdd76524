// The port object over the termios driver, end to end on pseudo-terminals: what the
// acquisition workers will do with a port.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/TermiosDriver.h"
#include "rs232/SerialExceptions.h"
#include "rs232/SerialPortLocal.h"
#include "support/Failure.h"
#include "support/Pty.h"

namespace scalino {
namespace {

constexpr auto failure = test::failureMessage<SerialPortException>;

using namespace std::chrono_literals;
using WaitResult = NativeDriver::WaitResult;

const PlatformInfo kLinux = PlatformInfo::forPlatform("Linux", "amd64");

std::unique_ptr<SerialPortLocal> openPort(
    const std::string& path,
    std::shared_ptr<NativeDriver> driver = std::make_shared<TermiosDriver>()) {
    SerialConfig config(path);
    config.setBitRate(SerialConfig::BR_9600);
    return std::make_unique<SerialPortLocal>(config, std::move(driver), kLinux);
}

// Reads until the terminator, waiting on the port whenever nothing is there.
std::string readLine(SerialPortLocal& port, char terminator) {
    std::string line;
    for (;;) {
        const int byte = port.getByte();
        if (byte < 0) {
            if (port.waitForInput(5000, {}) != WaitResult::Ready) return line;
            continue;
        }
        line += static_cast<char>(byte);
        if (byte == static_cast<unsigned char>(terminator)) return line;
    }
}

TEST(SerialPortPtyTest, ReadsLinesByteByByteAndWritesCommands) {
    test::Pty pty;
    auto port = openPort(pty.path());
    EXPECT_EQ(port->getConfigureNotice(), "");  // 8N1 takes
    EXPECT_EQ(port->getByte(), -1);             // nothing waiting: at once
    pty.send({'S', 'T', ',', '+', '1', '2', '.', '5', ' ', 'g', '\r', '\n', 0xFF, '\n'});
    EXPECT_EQ(readLine(*port, '\n'), "ST,+12.5 g\r\n");
    EXPECT_EQ(readLine(*port, '\n'), "\xFF\n");
    EXPECT_FALSE(port->sigParityErr());
    EXPECT_FALSE(port->sigFrameErr());
    port->putString("1\r");
    EXPECT_EQ(pty.receive(2), (test::Bytes{'1', '\r'}));
    port->rxFlush();
}

// The A&D profiles ask for 7 data bits with even parity; the simulator serves a pty, which
// keeps 8 without parity.
TEST(SerialPortPtyTest, APseudoTerminalOpensWithAnyFramingAndSaysWhatDidNotTake) {
    test::Pty pty;
    SerialConfig config(pty.path());
    config.setBitRate(SerialConfig::BR_2400);
    config.setDataBits(SerialConfig::LN_7BITS);
    config.setParity(SerialConfig::PY_EVEN);
    SerialPortLocal port(config, std::make_shared<TermiosDriver>(), kLinux);
    EXPECT_EQ(port.getConfigureNotice(),
              pty.path() +
                  " is a virtual port (pseudo-terminal): it keeps 8 data bits without parity, so "
                  "7 data bits and even parity do not apply; reading goes on");
    pty.send({'S', 'T', ',', '+', '1', '\r', '\n'});
    EXPECT_EQ(readLine(port, '\n'), "ST,+1\r\n");

    config = port.getConfig();
    config.setDataBits(SerialConfig::LN_8BITS);
    config.setParity(SerialConfig::PY_NONE);
    port.configure(config);
    EXPECT_EQ(port.getConfigureNotice(), "");

    config.setParity(SerialConfig::PY_ODD);
    port.configure(config);
    EXPECT_NE(port.getConfigureNotice(), "");
    config.setBitRate(20);  // neither an index nor a rate
    EXPECT_NE(failure([&] { port.configure(config); }), "");
    EXPECT_EQ(port.getConfigureNotice(), "");
}

TEST(SerialPortPtyTest, ASecondOpenOfTheSamePortIsRefused) {
    test::Pty pty;
    auto port = openPort(pty.path());
    const std::string message = failure([&] { openPort(pty.path()); });
    EXPECT_EQ(message.rfind(pty.path() + ": SerOpenPort failed: Port is in use", 0), 0u) << message;
    port->close();
    EXPECT_NO_THROW(openPort(pty.path()));
}

TEST(SerialPortPtyTest, PortsWithoutModemLinesSayWhy) {
    test::Pty pty;
    auto port = openPort(pty.path());
    for (const auto& [operation, prefix] : {std::pair<std::function<void()>, std::string>{
                                                [&] { port->setRTS(false); }, "setRTS failed"},
                                            {[&] { port->setDTR(true); }, "setDTR failed"},
                                            {[&] { port->sigDSR(); }, "sigDSR failed"},
                                            {[&] { port->sigCTS(); }, "sigCTS failed"}}) {
        const std::string message = failure(operation);
        EXPECT_EQ(message.rfind(prefix + ": ", 0), 0u) << message;
    }
}

TEST(SerialPortPtyTest, AnUnpluggedAdapterEndsReadingWithAFailure) {
    test::Pty pty;
    auto port = openPort(pty.path());
    pty.send({'4', '2', '\r'});
    EXPECT_EQ(port->waitForInput(5000, {}), WaitResult::Ready);
    pty.closeMaster();
    EXPECT_EQ(readLine(*port, '\r'), "42\r");  // what arrived before the unplug is kept
    std::string message;
    for (int i = 0; i < 100 && message.empty(); ++i) {
        message = failure([&] { port->getByte(); });
        if (message.empty()) port->waitForInput(100, {});
    }
    EXPECT_EQ(message.rfind("getByte failed: ", 0), 0u) << message;
    EXPECT_EQ(port->waitForInput(1000, {}), WaitResult::Failed);
}

TEST(SerialPortPtyTest, StoppingEndsAWaitAtOnce) {
    test::Pty pty;
    auto port = openPort(pty.path());
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        stop.request_stop();
    });
    EXPECT_EQ(port->waitForInput(-1, stop.get_token()), WaitResult::Interrupted);
    stopper.join();
    EXPECT_EQ(port->waitForInput(-1, stop.get_token()),
              WaitResult::Interrupted);  // already stopped
}

}  // namespace
}  // namespace scalino
