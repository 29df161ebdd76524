#include "platform/LinuxPortNaming.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/UdevPortDiscovery.h"

namespace scalino {
namespace {

using Properties = std::map<std::string, std::string>;
namespace fs = std::filesystem;

// USB adapters and most UARTs cannot be conjured up in a test, so their ttys are described
// as udev would report them.
TtyDevice virtualTty(const std::string& name) {
    TtyDevice tty;
    tty.devNode = "/dev/" + name;
    tty.sysName = name;
    return tty;
}

TtyDevice uart(const std::string& name, std::string subsystem, std::string driver,
               std::string type) {
    TtyDevice tty = virtualTty(name);
    tty.hasDevice = true;
    tty.parentSubsystem = std::move(subsystem);
    tty.driver = std::move(driver);
    tty.portType = std::move(type);
    return tty;
}

TtyDevice usbTty(const std::string& name, std::string driver, Properties properties = {}) {
    TtyDevice tty = virtualTty(name);
    tty.hasDevice = true;
    tty.parentSubsystem = driver == "cdc_acm" ? "usb" : "usb-serial";
    tty.driver = std::move(driver);
    tty.properties = std::move(properties);
    return tty;
}

class FakeEnumerator : public TtyEnumerator {
public:
    explicit FakeEnumerator(std::vector<TtyDevice> ttys) : ttys_(std::move(ttys)) {}
    std::vector<TtyDevice> enumerate() override { return ttys_; }

private:
    std::vector<TtyDevice> ttys_;
};

// Every call in the order made.
class RecordingSink : public PortListSink {
public:
    void addPortName(const std::string& name) override { calls.push_back("name " + name); }
    void addPortInfo(const PortDriverInfo& info) override {
        calls.push_back("info " + info.getPortName() + " | " + info.getDriverMfgr() + " | " +
                        info.getDriverDesc() + " | " + info.getStableName());
    }
    std::vector<std::string> calls;
};

bool isCharacterDevice(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(LinuxPortNamingTest, KeepsOnlyTtysWithAPortBehindThem) {
    TtyDevice noNode = usbTty("ttyUSB3", "ftdi_sio");
    noNode.devNode.clear();
    const struct {
        const char* what;
        TtyDevice tty;
        bool kept;
    } cases[] = {
        {"UART found through ACPI/PnP", uart("ttyS0", "pnp", "serial", "4"), true},
        {"legacy UART probed without PnP", uart("ttyS1", "platform", "serial8250", "4"), true},
        {"SoC UART without a type", uart("ttyS2", "platform", "dw-apb-uart", ""), true},
        {"placeholder of an absent UART", uart("ttyS4", "platform", "serial8250", "0"), false},
        {"placeholder without a type", uart("ttyS6", "platform", "serial8250", ""), false},
        {"USB serial adapter", usbTty("ttyUSB0", "ftdi_sio"), true},
        {"USB modem", usbTty("ttyACM0", "cdc_acm"), true},
        {"virtual console", virtualTty("tty1"), false},
        {"tty without a device node", noNode, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSerialPort(c.tty), c.kept) << c.what;
}

TEST(LinuxPortNamingTest, NaturalOrderComparesDigitRunsByValue) {
    const std::pair<const char*, const char*> ordered[] = {
        // ttyS01 and ttyS1 are equal by value: plain order keeps them apart.
        {"ttyS2", "ttyS10"},
        {"ttyS10", "ttyUSB0"},
        {"ttyUSB2", "ttyUSB10"},
        {"ttyS007", "ttyS10"},
        {"ttyS1", "ttyS02"},
        {"ttyUSB1", "ttyUSB1.0"},
        {"ttyS01", "ttyS1"},
        {"/dev/ttyS99999999999999999999", "/dev/ttyS100000000000000000000"}};
    for (const auto& [less, greater] : ordered) {
        EXPECT_TRUE(naturalLess(less, greater)) << less << " < " << greater;
        EXPECT_FALSE(naturalLess(greater, less)) << greater << " < " << less;
        EXPECT_FALSE(naturalLess(less, less)) << less;
    }
}

TEST(LinuxPortNamingTest, DecodesUdevEscapes) {
    EXPECT_EQ(decodeUdevString("FT232R\\x20USB\\x20UART"), "FT232R USB UART");
    EXPECT_EQ(decodeUdevString("100\\x25\\x2fC:\\x5c"), "100%/C:\\");
    EXPECT_EQ(decodeUdevString("\\x4a\\x4B"), "JK");
    // Text that is no complete escape stays as it is.
    EXPECT_EQ(decodeUdevString("a\\xZ1b\\x4"), "a\\xZ1b\\x4");
    EXPECT_EQ(decodeUdevString("end\\"), "end\\");
}

TEST(LinuxPortNamingTest, NamesProductAndMakerByTheBestNameAvailable) {
    TtyDevice onlySysfs = usbTty("ttyUSB1", "cp210x");
    onlySysfs.usbProduct = "CP2102 USB to UART Bridge Controller";
    onlySysfs.usbManufacturer = "Silicon Labs";
    const struct {
        const char* what;
        TtyDevice tty;
        const char* product;
        const char* maker;
    } cases[] = {
        {"hardware database first",
         usbTty("ttyUSB0", "ftdi_sio",
                {{"ID_MODEL_FROM_DATABASE", "FT232 Serial (UART) IC"},
                 {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
                 {"ID_MODEL", "FT232R_USB_UART"},
                 {"ID_VENDOR_FROM_DATABASE", "Future Technology Devices International, Ltd"},
                 {"ID_VENDOR", "FTDI"}}),
         "FT232 Serial (UART) IC", "Future Technology Devices International, Ltd"},
        {"device's own strings, decoded and without padding",
         usbTty("ttyUSB0", "pl2303",
                {{"ID_MODEL_ENC", "USB-Serial\\x20Controller\\x20D\\x20\\x20"},
                 {"ID_MODEL", "USB-Serial_Controller_D"},
                 {"ID_VENDOR_ENC", "Prolific\\x20Technology\\x20Inc.\\x20"},
                 {"ID_VENDOR", "Prolific_Technology_Inc."}}),
         "USB-Serial Controller D", "Prolific Technology Inc."},
        {"plain ID_MODEL and ID_VENDOR",
         usbTty("ttyUSB0", "pl2303", {{"ID_MODEL", "USB-Serial_Controller"}, {"ID_VENDOR", "PL"}}),
         "USB-Serial Controller", "PL"},
        {"bare USB ids are no names",
         usbTty("ttyUSB0", "ch341",
                {{"ID_MODEL", "7523"},
                 {"ID_MODEL_ENC", "7523"},
                 {"ID_MODEL_ID", "7523"},
                 {"ID_VENDOR", "1a86"},
                 {"ID_VENDOR_ID", "1a86"}}),
         "USB serial adapter", "ch341"},
        {"sysfs strings without udev", onlySysfs, "CP2102 USB to UART Bridge Controller",
         "Silicon Labs"},
        {"USB modem without names", usbTty("ttyACM0", "cdc_acm"), "USB modem (ACM)", "cdc_acm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(portDescription(c.tty), c.product) << c.what;
        EXPECT_EQ(portManufacturer(c.tty), c.maker) << c.what;
    }
}

// The stable name is the by-id link among the device's links. Identical adapters without a
// serial number share one, which then names neither.
TEST(UdevPortDiscoveryTest, ReportsPortsInNaturalOrderNamesFirstThenInformation) {
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    const std::string own = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::string shared = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
    UdevPortDiscovery discovery(std::make_unique<FakeEnumerator>(std::vector<TtyDevice>{
        usbTty("ttyUSB10", "ch341", {{"DEVLINKS", shared}}),
        usbTty("ttyUSB1", "ftdi_sio",
               {{"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
                {"ID_VENDOR", "FTDI"},
                {"DEVLINKS", byPath + " " + own}}),
        virtualTty("tty0"), uart("ttyS4", "platform", "serial8250", "0"),
        usbTty("ttyUSB2", "ch341", {{"DEVLINKS", shared}}), uart("ttyS0", "pnp", "serial", "4")}));
    RecordingSink sink;
    discovery.discover(sink);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{
                              "name /dev/ttyS0",
                              "name /dev/ttyUSB1",
                              "name /dev/ttyUSB2",
                              "name /dev/ttyUSB10",
                              "info /dev/ttyS0 | serial | Serial port | ",
                              "info /dev/ttyUSB1 | FTDI | FT232R USB UART | " + own,
                              "info /dev/ttyUSB2 | ch341 | USB serial adapter | ",
                              "info /dev/ttyUSB10 | ch341 | USB serial adapter | ",
                          }));
}

// The ttys of this machine as sysfs shows them, read without libudev, and the ports among them.
TEST(UdevPortDiscoveryTest, RealEnumerationAgreesWithSysfs) {
    std::vector<TtyDevice> ttys;
    ASSERT_NO_THROW(ttys = UdevTtyEnumerator().enumerate());
    const fs::path sysfs = "/sys/class/tty";
    const auto typeOf = [&sysfs](const std::string& name) {  // "" where the tty has none
        return fs::exists(sysfs / name / "type") ? firstLineOf(sysfs / name / "type") : "";
    };

    std::set<std::string> expected, found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysfs, error)) {
        const std::string name = entry.path().filename().string();
        if (isCharacterDevice("/dev/" + name)) expected.insert(name);
    }
    for (const auto& tty : ttys) {
        SCOPED_TRACE(tty.sysName);
        found.insert(tty.sysName);
        EXPECT_TRUE(isCharacterDevice(tty.devNode)) << tty.devNode;
        EXPECT_EQ(tty.hasDevice, fs::exists(sysfs / tty.sysName / "device"));
        EXPECT_TRUE(!tty.hasDevice || !tty.parentSubsystem.empty());
        // The serial-base layer of newer kernels says nothing about where the port is.
        EXPECT_NE(tty.parentSubsystem, "serial-base");
        EXPECT_EQ(tty.portType, typeOf(tty.sysName));
    }
    EXPECT_EQ(found, expected);
    for (const auto& port : serialPorts(ttys))
        EXPECT_NE(typeOf(fs::path(port.getPortName()).filename()), "0") << port.getPortName();
}

// ---- monitoring -----------------------------------------------------------------------------

// Runs action on every notification and tells when the first has come.
class Callback : public DeviceNotificationCallback {
public:
    explicit Callback(std::function<void()> action = {}) : action_(std::move(action)) {}
    void deviceNotification() override {
        if (action_) action_();
        std::call_once(once_, [this] { first_.set_value(); });
    }
    bool notifiedWithin(std::chrono::seconds limit) {
        return notified_.wait_for(limit) == std::future_status::ready;
    }

private:
    std::function<void()> action_;
    std::once_flag once_;
    std::promise<void> first_;
    std::future<void> notified_ = first_.get_future();
};

// Runs work on a thread of its own; false when it has not finished within the limit (the
// thread is then left behind, with what it shares kept alive).
bool finishesWithin(std::chrono::seconds limit, std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    return done.wait_for(limit) == std::future_status::ready;
}

std::shared_ptr<UdevPortDiscovery> discoveryWithoutPorts() {
    return std::make_shared<UdevPortDiscovery>(
        std::make_unique<FakeEnumerator>(std::vector<TtyDevice>{}));
}

TEST(UdevPortDiscoveryTest, MonitoringStopsPromptlyWithoutEvents) {
    auto discovery = discoveryWithoutPorts();
    auto callback = std::make_shared<Callback>();
    EXPECT_FALSE(discovery->startMonitoring(nullptr));
    discovery->startMonitoring(callback.get());
    EXPECT_TRUE(finishesWithin(std::chrono::seconds(10), [discovery = std::move(discovery),
                                                          callback]() mutable {
        discovery->stopMonitoring();
        discovery->stopMonitoring();
        discovery->startMonitoring(callback.get());
        discovery->startMonitoring(callback.get());  // replaces the first
        discovery.reset();
    })) << "stopping hung";
}

// Asks the kernel to announce a virtual tty again, as `udevadm trigger` does; needs root and a
// writable /sys. A virtual tty so that no real port is disturbed.
bool announceAVirtualTty() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/devices/virtual/tty", error)) {
        std::ofstream uevent(entry.path() / "uevent");
        if (uevent && (uevent << "add").flush()) return true;
    }
    return false;
}

// The monitoring thread must not wait for itself when the callback stops the monitoring.
TEST(UdevPortDiscoveryTest, NotifiesOfAnAddedTtyAndTheCallbackMayStopItsOwnMonitoring) {
    auto discovery = discoveryWithoutPorts();
    std::weak_ptr<UdevPortDiscovery> weak = discovery;
    auto callback = std::make_shared<Callback>([weak] {
        if (auto owner = weak.lock()) owner->stopMonitoring();
    });
    if (!discovery->startMonitoring(callback.get())) GTEST_SKIP() << "monitoring unavailable";
    if (!announceAVirtualTty()) GTEST_SKIP() << "cannot announce a tty here";
    ASSERT_TRUE(callback->notifiedWithin(std::chrono::seconds(10)));
    EXPECT_TRUE(
        finishesWithin(std::chrono::seconds(10),
                       [discovery = std::move(discovery)]() mutable { discovery.reset(); }));
}

}  // namespace
}  // namespace scalino
