#include "platform/LinuxPortNaming.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/UdevPortDiscovery.h"

namespace scalino {
namespace {

using Properties = std::map<std::string, std::string>;
namespace fs = std::filesystem;

TtyDevice uart(const std::string& name, std::string subsystem, std::string driver,
               std::string type) {
    TtyDevice tty;
    tty.devNode = "/dev/" + name;
    tty.sysName = name;
    tty.hasDevice = true;
    tty.parentSubsystem = std::move(subsystem);
    tty.driver = std::move(driver);
    tty.portType = std::move(type);
    return tty;
}

TtyDevice usbTty(const std::string& name, std::string driver, Properties properties = {}) {
    TtyDevice tty;
    tty.devNode = "/dev/" + name;
    tty.sysName = name;
    tty.hasDevice = true;
    tty.parentSubsystem = driver == "cdc_acm" ? "usb" : "usb-serial";
    tty.driver = std::move(driver);
    tty.properties = std::move(properties);
    return tty;
}

TtyDevice virtualTty(const std::string& name) {
    TtyDevice tty;
    tty.devNode = "/dev/" + name;
    tty.sysName = name;
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
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& call : calls)
            if (call.starts_with("name ")) result.push_back(call.substr(5));
        return result;
    }

    std::vector<std::string> calls;
};

std::vector<std::string> portNames(const std::vector<TtyDevice>& ttys) {
    std::vector<std::string> names;
    for (const auto& port : serialPorts(ttys))
        names.push_back(port.getPortName());
    return names;
}

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
        {"port of a PCI card not found", uart("ttyS5", "pci", "serial", "0"), false},
        {"placeholder without a type", uart("ttyS6", "platform", "serial8250", ""), false},
        {"USB serial adapter", usbTty("ttyUSB0", "ftdi_sio"), true},
        {"USB modem", usbTty("ttyACM0", "cdc_acm"), true},
        {"virtual console", virtualTty("tty1"), false},
        {"system console", virtualTty("console"), false},
        {"pty master clone", virtualTty("ptmx"), false},
        {"tty without a device node", noNode, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSerialPort(c.tty), c.kept) << c.what;
}

TEST(LinuxPortNamingTest, APcWithOneUartListsOnlyThatUart) {
    std::vector<TtyDevice> ttys = {uart("ttyS0", "pnp", "serial", "4"), virtualTty("console"),
                                   virtualTty("ptmx"), virtualTty("tty")};
    for (int i = 1; i < 32; ++i)
        ttys.push_back(uart("ttyS" + std::to_string(i), "platform", "serial8250", "0"));
    for (int i = 0; i < 64; ++i)
        ttys.push_back(virtualTty("tty" + std::to_string(i)));
    EXPECT_EQ(portNames(ttys), std::vector<std::string>{"/dev/ttyS0"});
}

TEST(LinuxPortNamingTest, ListsPortsInNaturalOrder) {
    const std::vector<TtyDevice> ttys = {
        usbTty("ttyUSB10", "pl2303"), usbTty("ttyUSB2", "ftdi_sio"), virtualTty("tty3"),
        usbTty("ttyACM0", "cdc_acm"), uart("ttyS1", "pnp", "serial", "4")};
    EXPECT_EQ(portNames(ttys), (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS1",
                                                         "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST(LinuxPortNamingTest, NaturalOrderComparesDigitRunsByValue) {
    const std::pair<const char*, const char*> ordered[] = {
        {"ttyS1", "ttyS2"},
        {"ttyS2", "ttyS10"},
        {"ttyS10", "ttyUSB0"},
        {"ttyUSB2", "ttyUSB10"},
        {"ttyS007", "ttyS10"},
        {"ttyS1", "ttyS02"},
        {"ttyS01", "ttyS1"},  // equal by value: plain order keeps them apart
        {"ttyUSB1", "ttyUSB1.0"},
        {"/dev/ttyS99999999999999999999", "/dev/ttyS100000000000000000000"},
    };
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

TEST(LinuxPortNamingTest, DescribesPortsByTheBestNameAvailable) {
    TtyDevice productOnlyInSysfs = usbTty("ttyUSB1", "ftdi_sio");
    productOnlyInSysfs.usbProduct = "FT232R USB UART";
    const struct {
        const char* what;
        TtyDevice tty;
        const char* description;
    } cases[] = {
        {"database name first",
         usbTty("ttyUSB0", "ftdi_sio",
                {{"ID_MODEL_FROM_DATABASE", "FT232 Serial (UART) IC"},
                 {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
                 {"ID_MODEL", "FT232R_USB_UART"}}),
         "FT232 Serial (UART) IC"},
        {"device's own string, decoded",
         usbTty("ttyUSB0", "ftdi_sio",
                {{"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"}, {"ID_MODEL", "FT232R_USB_UART"}}),
         "FT232R USB UART"},
        {"padding blanks dropped",
         usbTty("ttyUSB0", "pl2303",
                {{"ID_MODEL_ENC", "USB-Serial\\x20Controller\\x20D\\x20\\x20"}}),
         "USB-Serial Controller D"},
        {"plain ID_MODEL", usbTty("ttyUSB0", "pl2303", {{"ID_MODEL", "USB-Serial_Controller"}}),
         "USB-Serial Controller"},
        {"bare product id is no name",
         usbTty("ttyUSB0", "ch341",
                {{"ID_MODEL", "7523"}, {"ID_MODEL_ENC", "7523"}, {"ID_MODEL_ID", "7523"}}),
         "USB serial adapter"},
        {"sysfs product without udev", productOnlyInSysfs, "FT232R USB UART"},
        {"USB modem without names", usbTty("ttyACM0", "cdc_acm"), "USB modem (ACM)"},
        {"UART", uart("ttyS0", "pnp", "serial", "4"), "Serial port"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portDescription(c.tty), c.description) << c.what;
}

TEST(LinuxPortNamingTest, NamesTheMakerByTheBestNameAvailable) {
    TtyDevice makerOnlyInSysfs = usbTty("ttyUSB1", "cp210x");
    makerOnlyInSysfs.usbManufacturer = "Silicon Labs";
    const struct {
        const char* what;
        TtyDevice tty;
        const char* manufacturer;
    } cases[] = {
        {"database name first",
         usbTty("ttyUSB0", "ftdi_sio",
                {{"ID_VENDOR_FROM_DATABASE", "Future Technology Devices International, Ltd"},
                 {"ID_VENDOR", "FTDI"}}),
         "Future Technology Devices International, Ltd"},
        {"device's own string, decoded",
         usbTty("ttyUSB0", "pl2303",
                {{"ID_VENDOR_ENC", "Prolific\\x20Technology\\x20Inc.\\x20"},
                 {"ID_VENDOR", "Prolific_Technology_Inc."}}),
         "Prolific Technology Inc."},
        {"plain ID_VENDOR", usbTty("ttyUSB0", "ftdi_sio", {{"ID_VENDOR", "FTDI"}}), "FTDI"},
        {"bare vendor id is no name",
         usbTty("ttyUSB0", "ch341", {{"ID_VENDOR", "1a86"}, {"ID_VENDOR_ID", "1a86"}}), "ch341"},
        {"sysfs manufacturer without udev", makerOnlyInSysfs, "Silicon Labs"},
        {"UART", uart("ttyS0", "pnp", "serial", "4"), "serial"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portManufacturer(c.tty), c.manufacturer) << c.what;
}

TEST(LinuxPortNamingTest, StableNameIsTheByIdLink) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    EXPECT_EQ(byIdLink(usbTty("ttyUSB0", "ftdi_sio", {{"DEVLINKS", byPath + " " + byId}})), byId);
    EXPECT_EQ(byIdLink(usbTty("ttyUSB0", "ftdi_sio", {{"DEVLINKS", byId + "  " + byPath}})), byId);
    EXPECT_EQ(byIdLink(usbTty("ttyUSB0", "ftdi_sio", {{"DEVLINKS", byPath}})), "");
    EXPECT_EQ(byIdLink(usbTty("ttyUSB0", "ftdi_sio")), "");
}

TEST(LinuxPortNamingTest, AByIdLinkSharedByIdenticalAdaptersNamesNeither) {
    const std::string shared = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0";
    const std::string own = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const auto ports = serialPorts({usbTty("ttyUSB0", "ch341", {{"DEVLINKS", shared}}),
                                    usbTty("ttyUSB1", "ch341", {{"DEVLINKS", shared}}),
                                    usbTty("ttyUSB2", "ftdi_sio", {{"DEVLINKS", own}})});
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].getStableName(), "");
    EXPECT_EQ(ports[1].getStableName(), "");
    EXPECT_EQ(ports[2].getStableName(), own);
}

TEST(UdevPortDiscoveryTest, ReportsNamesThenDriverInformationInOrder) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    UdevPortDiscovery discovery(std::make_unique<FakeEnumerator>(
        std::vector<TtyDevice>{usbTty("ttyUSB1", "ftdi_sio",
                                      {{"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
                                       {"ID_VENDOR", "FTDI"},
                                       {"DEVLINKS", byId}}),
                               virtualTty("tty0"), uart("ttyS0", "pnp", "serial", "4"),
                               uart("ttyS4", "platform", "serial8250", "0")}));
    RecordingSink sink;
    discovery.discover(sink);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{
                              "name /dev/ttyS0",
                              "name /dev/ttyUSB1",
                              "info /dev/ttyS0 | serial | Serial port | ",
                              "info /dev/ttyUSB1 | FTDI | FT232R USB UART | " + byId,
                          }));
}

// The ttys of this machine as sysfs shows them, read without libudev.
TEST(UdevPortDiscoveryTest, RealEnumerationAgreesWithSysfs) {
    std::vector<TtyDevice> ttys;
    ASSERT_NO_THROW(ttys = UdevTtyEnumerator().enumerate());

    std::set<std::string> expected;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
        const std::string name = entry.path().filename().string();
        if (isCharacterDevice("/dev/" + name)) expected.insert(name);
    }

    std::set<std::string> found;
    for (const auto& tty : ttys) {
        SCOPED_TRACE(tty.sysName);
        found.insert(tty.sysName);
        EXPECT_TRUE(isCharacterDevice(tty.devNode)) << tty.devNode;
        const fs::path sysfs = fs::path("/sys/class/tty") / tty.sysName;
        EXPECT_EQ(tty.hasDevice, fs::exists(sysfs / "device"));
        if (tty.hasDevice) {
            EXPECT_FALSE(tty.parentSubsystem.empty());
        }
        // The serial-base layer of newer kernels says nothing about where the port is.
        EXPECT_NE(tty.parentSubsystem, "serial-base");
        if (fs::exists(sysfs / "type")) {
            EXPECT_EQ(tty.portType, firstLineOf(sysfs / "type"));
        }
    }
    EXPECT_EQ(found, expected);
}

TEST(UdevPortDiscoveryTest, RealDiscoveryListsExistingPortsInOrder) {
    RecordingSink sink;
    ASSERT_NO_THROW(UdevPortDiscovery().discover(sink));
    const auto names = sink.names();
    std::cout << "[          ] serial ports here:" << (names.empty() ? " none" : "") << '\n';
    for (const auto& call : sink.calls)
        if (call.starts_with("info ")) std::cout << "[          ]   " << call.substr(5) << '\n';

    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](const auto& a, const auto& b) { return naturalLess(a, b); }));
    ASSERT_EQ(sink.calls.size(), 2 * names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_TRUE(isCharacterDevice(names[i]));
        const fs::path sysfs = fs::path("/sys/class/tty") / fs::path(names[i]).filename();
        EXPECT_TRUE(fs::exists(sysfs / "device"));
        if (fs::exists(sysfs / "type")) {
            EXPECT_NE(firstLineOf(sysfs / "type"), "0");
        }
        EXPECT_TRUE(sink.calls[names.size() + i].starts_with("info " + names[i] + " | "));
    }
}

class CountingCallback : public DeviceNotificationCallback {
public:
    explicit CountingCallback(std::function<void()> action = {}) : action_(std::move(action)) {}
    void deviceNotification() override {
        if (action_) action_();
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitForNotification(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return count_ > 0; });
    }

private:
    std::function<void()> action_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Runs work on a thread of its own; false when it has not finished within the limit (the
// thread is then left behind, with what it shares kept alive).
bool finishesWithin(std::chrono::seconds limit, std::function<void()> work) {
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    std::thread([state, work = std::move(work)] {
        work();
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->done.wait_for(lock, limit, [&] { return state->finished; });
}

std::shared_ptr<UdevPortDiscovery> discoveryWithoutPorts() {
    return std::make_shared<UdevPortDiscovery>(
        std::make_unique<FakeEnumerator>(std::vector<TtyDevice>{}));
}

TEST(UdevPortDiscoveryTest, MonitoringStopsPromptlyWithoutEvents) {
    auto discovery = discoveryWithoutPorts();
    auto callback = std::make_shared<CountingCallback>();
    EXPECT_FALSE(discovery->startMonitoring(nullptr));
    const bool started = discovery->startMonitoring(callback.get());
    std::cout << "[          ] monitoring " << (started ? "started" : "unavailable") << '\n';
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

TEST(UdevPortDiscoveryTest, NotifiesWhenATtyIsAdded) {
    auto discovery = discoveryWithoutPorts();
    auto callback = std::make_shared<CountingCallback>();
    if (!discovery->startMonitoring(callback.get())) GTEST_SKIP() << "monitoring unavailable";
    if (!announceAVirtualTty()) GTEST_SKIP() << "cannot announce a tty here";
    EXPECT_TRUE(callback->waitForNotification(std::chrono::seconds(10)));
    EXPECT_TRUE(
        finishesWithin(std::chrono::seconds(10),
                       [discovery = std::move(discovery)]() mutable { discovery.reset(); }));
}

TEST(UdevPortDiscoveryTest, TheCallbackMayStopItsOwnMonitoring) {
    auto discovery = discoveryWithoutPorts();
    std::weak_ptr<UdevPortDiscovery> weak = discovery;
    auto callback = std::make_shared<CountingCallback>([weak] {
        if (auto owner = weak.lock()) owner->stopMonitoring();
    });
    if (!discovery->startMonitoring(callback.get())) GTEST_SKIP() << "monitoring unavailable";
    if (!announceAVirtualTty()) GTEST_SKIP() << "cannot announce a tty here";
    ASSERT_TRUE(callback->waitForNotification(std::chrono::seconds(10)));
    EXPECT_TRUE(
        finishesWithin(std::chrono::seconds(10),
                       [discovery = std::move(discovery)]() mutable { discovery.reset(); }));
}

}  // namespace
}  // namespace scalino
