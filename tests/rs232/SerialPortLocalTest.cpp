#include "rs232/SerialPortLocal.h"

#include <gtest/gtest.h>

#include <functional>

#include "rs232/SerialExceptions.h"
#include "support/Failure.h"
#include "support/FakeDriver.h"

namespace scalino {
namespace {

constexpr auto failure = test::failureMessage<SerialPortException>;

using test::FakeDriver;

const PlatformInfo kLinux = PlatformInfo::forPlatform("Linux", "amd64");
const PlatformInfo kWindows = PlatformInfo::forPlatform("Windows 10", "amd64");

SerialConfig configFor(const std::string& name, int bitRate = SerialConfig::BR_9600) {
    SerialConfig config(name);
    config.setBitRate(bitRate);
    return config;
}

TEST(SerialPortLocalTest, OpenFailuresNameThePortAndTheCause) {
    const std::pair<int, std::string> cases[] = {
        {1000, "/dev/ttyUSB0: SerOpenPort failed: Port is already open"},
        {1002, "/dev/ttyUSB0: SerOpenPort failed: Port is in use"},
        {1003, "/dev/ttyUSB0: SerOpenPort failed: Port not valid"},
        {1004, "/dev/ttyUSB0: SerOpenPort failed: 2: No such device"},
        {1006, "/dev/ttyUSB0: SerOpenPort failed: Permission denied"},
        {1007, "/dev/ttyUSB0: SerOpenPort failed: Device busy"},
        {1008, "/dev/ttyUSB0: SerOpenPort failed: 19: No such device"},
        {1005, "/dev/ttyUSB0: SerOpenPort failed: : 1005"},
    };
    for (const auto& [code, message] : cases) {
        auto driver = std::make_shared<FakeDriver>();
        driver->openResult = code;
        EXPECT_EQ(failure([&] { SerialPortLocal port(configFor("/dev/ttyUSB0"), driver, kLinux); }),
                  message);
    }
    auto driver = std::make_shared<FakeDriver>();
    driver->openResult = 1006;
    driver->hint = "Add your user to the group dialout";
    EXPECT_EQ(
        failure([&] { SerialPortLocal port(configFor("/dev/ttyS0"), driver, kLinux); }),
        "/dev/ttyS0: SerOpenPort failed: Permission denied. Add your user to the group dialout");
}

TEST(SerialPortLocalTest, OpeningConfiguresAndSetsTimeouts) {
    auto driver = std::make_shared<FakeDriver>();
    SerialPortLocal port(configFor("/dev/ttyUSB0", 9600), driver, kLinux);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.getPortNum(), 2);  // the driver's port 3, 0-based
    EXPECT_EQ(driver->configured.getBitRate(), SerialConfig::BR_9600);  // raw 9600 became index 7
    EXPECT_FALSE(driver->configured.getHardFlow());
    EXPECT_EQ(driver->timeoutRx, 0);
    EXPECT_EQ(driver->timeoutTx, -7);  // no transmit time-out on Linux

    auto windowsDriver = std::make_shared<FakeDriver>();
    SerialPortLocal windowsPort(configFor("COM3", SerialConfig::BR_9600), windowsDriver, kWindows);
    EXPECT_EQ(windowsDriver->timeoutTx, 426300);  // 4096 bytes at 9600 bit/s
}

TEST(SerialPortLocalTest, BitRatesAndParityAreCheckedWhenConfiguring) {
    auto driver = std::make_shared<FakeDriver>();
    EXPECT_EQ(
        failure([&] { SerialPortLocal port(configFor("/dev/ttyS0", 12345), driver, kLinux); }),
        "Unsupported Serial Port Bit Rate");
    EXPECT_EQ(driver->openPorts, 0);  // the half-opened port was closed again

    auto windowsDriver = std::make_shared<FakeDriver>();
    SerialPortLocal windowsPort(configFor("COM1", 12345), windowsDriver, kWindows);
    EXPECT_EQ(windowsDriver->configured.getBitRate(), 12345);  // raw rates reach the driver

    auto macDriver = std::make_shared<FakeDriver>();
    SerialConfig mark = configFor("Modem Port");
    mark.setParity(SerialConfig::PY_MARK);  // accepted when set...
    EXPECT_EQ(failure([&] {
                  SerialPortLocal port(mark, macDriver, PlatformInfo::forPlatform("Mac OS", "ppc"));
              }),
              "Unsupported Mark/Space parity\r\n");  // ...refused when configured

    auto failing = std::make_shared<FakeDriver>();
    failing->configureResult = 5;
    failing->lastError = "the adapter does not support 5 data bits";
    EXPECT_EQ(failure([&] { SerialPortLocal port(configFor("/dev/ttyS0"), failing, kLinux); }),
              "Configure failed: 5 (the adapter does not support 5 data bits)");
}

TEST(SerialPortLocalTest, GuardsCheckTheFlagThenTheOpenPortThenTheDriver) {
    auto driver = std::make_shared<FakeDriver>();
    SerialPortLocal irix(configFor("/dev/ttyd1"), driver,
                         PlatformInfo::forPlatform("Irix", "mips"));
    irix.close();
    EXPECT_EQ(failure([&] { irix.setRTS(true); }), "setRts not supported on Irix");
    EXPECT_EQ(failure([&] { irix.sigCTS(); }), "sigCTS: Port not open");  // never "not supported"

    SerialPortLocal port(configFor("/dev/ttyUSB0"), driver, kLinux);
    driver->statusResult = -1;
    driver->lastError = "modem-control lines are not available on this port";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { port.setRTS(true); },
         "setRTS failed: modem-control lines are not available on this port"},
        {[&] { port.setDTR(true); },
         "setDTR failed: modem-control lines are not available on this port"},
        {[&] { port.sigDSR(); },
         "sigDSR failed: modem-control lines are not available on this port"},
        {[&] { port.sigOverrun(); }, "sigOverrun not supported on Linux"},
        {[&] { port.sendBreak(100); },
         "sendBreak failed: modem-control lines are not available on this port"},
        {[&] { port.setPowerMode(1); }, "setPowerMode not supported on Linux"},
        {[&] { port.rxOverflow(); }, "rxOverflow not supported on Linux"},
        {[&] { port.sigBreak(); }, "sigBreak not supported on Linux"},
        {[&] { port.resetPortDriver(); }, "resetPortDriver: Port must be closed"},
        {[&] { port.txBufCount(); },
         "txBufCount failed: modem-control lines are not available on this port"},
        {[&] { port.sigCD(); }, "sigCD failed: modem-control lines are not available on this port"},
        {[&] { port.sigFrameErr(); },
         "sigFrameErr failed: modem-control lines are not available on this port"},
        {[&] { port.putByte(7); }, "PutByte failed: -1"},
    };
    for (const auto& [operation, message] : cases)
        EXPECT_EQ(failure(operation), message);
    EXPECT_FALSE(port.sigParityErr());  // no failure test: -1 is simply "not seen"

    port.close();
    EXPECT_EQ(failure([&] { port.setRTS(true); }), "setRTS: Port not open");
    EXPECT_EQ(failure([&] { port.txBufCount(); }), "txBufCount: Port not open");
    EXPECT_EQ(failure([&] { port.configure(); }), "configure: Port is not open");
    EXPECT_EQ(failure([&] { port.close(); }), "");  // closing twice does nothing
}

TEST(SerialPortLocalTest, StatusQueriesReportWhatTheDriverSees) {
    auto driver = std::make_shared<FakeDriver>();
    SerialPortLocal port(configFor("/dev/ttyUSB0"), driver, kLinux);
    for (int seen : {1, 0}) {
        driver->statusResult = seen;
        for (bool reported : {port.sigCTS(), port.sigDSR(), port.sigCD(), port.sigRing(),
                              port.sigParityErr(), port.sigFrameErr()}) {
            EXPECT_EQ(reported, seen == 1);
        }
    }
}

TEST(SerialPortLocalTest, ReceiveCountFailureGoesToTheErrorStatusHandler) {
    struct Handler : ErrorStatusHandler {
        std::vector<int> events;
        void sioErrorEvent(int event) override { events.push_back(event); }
    } handler;
    auto driver = std::make_shared<FakeDriver>();
    SerialPortLocal port(configFor("/dev/ttyUSB0"), driver, kLinux);
    driver->statusResult = -1;
    EXPECT_EQ(failure([&] { port.rxReadyCount(); }), "rxReadyCount failed");
    port.setErrorStatusHandler(&handler);
    EXPECT_EQ(port.rxReadyCount(), -1);
    EXPECT_EQ(handler.events, std::vector<int>{SerialPort::RXREADYCOUNT});
}

TEST(SerialPortLocalTest, ReadingAndWriting) {
    auto driver = std::make_shared<FakeDriver>();
    SerialPortLocal port(configFor("/dev/ttyUSB0"), driver, kLinux);
    driver->bytes = {0x31, 0xFF, NativeDriver::kFailed};
    EXPECT_EQ(port.getByte(), 0x31);
    EXPECT_EQ(port.getByte(), 0xFF);
    driver->lastError = "the device was disconnected";
    EXPECT_EQ(failure([&] { port.getByte(); }), "getByte failed: the device was disconnected");

    const std::uint8_t data[] = {1, 2, 3, 4};
    port.putData(std::span<const std::uint8_t>{});  // nothing to send, nothing sent
    EXPECT_EQ(std::count(driver->calls.begin(), driver->calls.end(), "put 0"), 0);
    port.putData(data, 1, 2);
    EXPECT_EQ(driver->calls.back(), "put 2");
    EXPECT_EQ(failure([&] { port.putData(data, 3, 2); }), "putData3: count out of bounds");
    EXPECT_EQ(failure([&] { port.putData(data, 5); }), "putData: count out of bounds");
    driver->putResult = 1;
    EXPECT_EQ(failure([&] { port.putData(data); }), "PutData1: Sent only 1 of 4 bytes");
    EXPECT_EQ(failure([&] { port.putString("abc"); }), "PutString: sent only 1 of 3 bytes");
    EXPECT_TRUE(port.sendSinceTxBufEmpty());
    std::uint8_t buffer[4];
    EXPECT_EQ(failure([&] { port.getData(buffer, 5, 1); }), "getData: count out of bounds");
}

}  // namespace
}  // namespace scalino
