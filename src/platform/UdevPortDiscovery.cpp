#include "platform/UdevPortDiscovery.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <system_error>
#include <utility>

#include "platform/LinuxPortNaming.h"

namespace scalino {
namespace {

struct UdevUnref {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
    void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

void diagnose(const std::string& what, int error) {
    std::cerr << "Port discovery: " << what << ": "
              << std::error_code(error, std::generic_category()).message() << '\n';
}

std::string text(const char* value) {
    return value ? value : "";
}

std::string trimmedLine(const char* value) {
    std::string line = text(value);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The device a tty belongs to. Since Linux 6.5 a UART's tty hangs below two devices of the
// kernel's serial-base layer ("ctrl" and "port"), which say nothing about the hardware.
udev_device* owningDevice(udev_device* tty) {
    udev_device* parent = udev_device_get_parent(tty);
    while (parent != nullptr && text(udev_device_get_subsystem(parent)) == "serial-base")
        parent = udev_device_get_parent(parent);
    return parent;
}

std::string driverOf(udev_device* device) {
    for (; device != nullptr; device = udev_device_get_parent(device))
        if (std::string driver = text(udev_device_get_driver(device)); !driver.empty())
            return driver;
    return {};
}

bool isVirtual(udev_device* tty) {
    return text(udev_device_get_syspath(tty)).starts_with("/sys/devices/virtual/");
}

TtyDevice describe(udev_device* device) {
    TtyDevice tty;
    tty.devNode = text(udev_device_get_devnode(device));
    tty.sysName = text(udev_device_get_sysname(device));
    tty.hasDevice = udev_device_get_parent(device) != nullptr && !isVirtual(device);
    if (udev_device* owner = owningDevice(device)) {
        tty.parentSubsystem = text(udev_device_get_subsystem(owner));
        tty.driver = driverOf(owner);
    }
    tty.portType = trimmedLine(udev_device_get_sysattr_value(device, "type"));
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
        tty.usbProduct = trimmedLine(udev_device_get_sysattr_value(usb, "product"));
        tty.usbManufacturer = trimmedLine(udev_device_get_sysattr_value(usb, "manufacturer"));
    }
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
        tty.properties[udev_list_entry_get_name(entry)] = text(udev_list_entry_get_value(entry));
    }
    return tty;
}

// sysfs lists every tty of the kernel, but a container's /dev may hold only a few of them.
bool isCharacterDevice(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

}  // namespace

std::vector<TtyDevice> UdevTtyEnumerator::enumerate() {
    UdevPtr<udev> context(udev_new());
    if (!context) {
        diagnose("cannot use libudev", errno);
        return {};
    }
    UdevPtr<udev_enumerate> scan(udev_enumerate_new(context.get()));
    if (!scan) {
        diagnose("cannot list devices", errno);
        return {};
    }
    int result = udev_enumerate_add_match_subsystem(scan.get(), "tty");
    if (result >= 0) result = udev_enumerate_scan_devices(scan.get());
    if (result < 0) {
        diagnose("cannot list the ttys", -result);
        return {};
    }

    std::vector<TtyDevice> ttys;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
        // A tty removed since the scan is simply no longer there.
        UdevPtr<udev_device> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) continue;
        TtyDevice tty = describe(device.get());
        if (isCharacterDevice(tty.devNode)) ttys.push_back(std::move(tty));
    }
    return ttys;
}

// One monitoring run: the netlink socket, the event that stops it, and the loop of its thread.
// The thread shares ownership, so a callback that stops its own monitoring can leave the
// thread to finish on its own.
class UdevPortDiscovery::Monitor {
public:
    static std::shared_ptr<Monitor> open(DeviceNotificationCallback* callback);

    void run();
    void requestStop();

private:
    bool receiveEvents();
    void notify();

    UdevPtr<udev> context_;
    UdevPtr<udev_monitor> monitor_;
    FileDescriptor stopEvent_;
    DeviceNotificationCallback* callback_ = nullptr;
};

std::shared_ptr<UdevPortDiscovery::Monitor> UdevPortDiscovery::Monitor::open(
    DeviceNotificationCallback* callback) {
    auto monitor = std::make_shared<Monitor>();
    monitor->callback_ = callback;
    monitor->context_.reset(udev_new());
    if (!monitor->context_) {
        diagnose("cannot use libudev", errno);
        return nullptr;
    }
    // The udev daemon passes an event on once the device's node and links are in place.
    // Without the daemon it passes nothing on, and the kernel's own events are the signal:
    // devtmpfs has made the node by the time they arrive.
    const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    monitor->monitor_.reset(udev_monitor_new_from_netlink(monitor->context_.get(), source));
    if (!monitor->monitor_) {
        diagnose("cannot monitor devices", errno);
        return nullptr;
    }
    int result =
        udev_monitor_filter_add_match_subsystem_devtype(monitor->monitor_.get(), "tty", nullptr);
    if (result >= 0) result = udev_monitor_enable_receiving(monitor->monitor_.get());
    if (result < 0) {
        diagnose("cannot monitor the ttys", -result);
        return nullptr;
    }
    monitor->stopEvent_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (monitor->stopEvent_.get() < 0) {
        diagnose("cannot monitor the ttys", errno);
        return nullptr;
    }
    return monitor;
}

void UdevPortDiscovery::Monitor::run() {
    pollfd fds[] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0},
                    {stopEvent_.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            diagnose("monitoring ended", errno);
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & (POLLHUP | POLLNVAL)) != 0) {
            diagnose("monitoring ended", EPIPE);
            return;
        }
        // POLLERR is how a netlink socket reports lost events; receiving clears it.
        if ((fds[0].revents & (POLLIN | POLLERR)) != 0 && receiveEvents()) notify();
    }
}

void UdevPortDiscovery::Monitor::requestStop() {
    const std::uint64_t one = 1;
    // Only an overflowing counter makes this fail, and that leaves the event readable anyway.
    if (::write(stopEvent_.get(), &one, sizeof one) < 0) diagnose("cannot stop monitoring", errno);
}

// Reads what is queued; true when a tty was added or removed, or events were lost.
bool UdevPortDiscovery::Monitor::receiveEvents() {
    bool changed = false;
    for (;;) {
        errno = 0;
        UdevPtr<udev_device> device(udev_monitor_receive_device(monitor_.get()));
        if (!device) return changed || errno == ENOBUFS;
        const std::string action = text(udev_device_get_action(device.get()));
        if (action == "add" || action == "remove") changed = true;
    }
}

void UdevPortDiscovery::Monitor::notify() {
    // An exception escaping this thread would end the program; a missed refresh is the lesser
    // harm.
    try {
        callback_->deviceNotification();
    } catch (const std::exception& e) {
        std::cerr << "Port discovery: device notification failed: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "Port discovery: device notification failed\n";
    }
}

UdevPortDiscovery::UdevPortDiscovery() : UdevPortDiscovery(std::make_unique<UdevTtyEnumerator>()) {}

UdevPortDiscovery::UdevPortDiscovery(std::unique_ptr<TtyEnumerator> enumerator)
    : enumerator_(std::move(enumerator)) {}

UdevPortDiscovery::~UdevPortDiscovery() {
    stopMonitoring();
}

void UdevPortDiscovery::discover(PortListSink& sink) {
    reportPorts(serialPorts(enumerator_->enumerate()), sink);
}

bool UdevPortDiscovery::startMonitoring(DeviceNotificationCallback* callback) {
    stopMonitoring();
    if (callback == nullptr) return false;
    std::shared_ptr<Monitor> monitor = Monitor::open(callback);
    if (!monitor) return false;
    Running started;
    try {
        started = Running{monitor, std::thread([monitor] { monitor->run(); })};
    } catch (const std::system_error& e) {
        diagnose("cannot start monitoring", e.code().value());
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        std::swap(running_, started);
    }
    finish(std::move(started));  // what a concurrent start may have left running
    return true;
}

void UdevPortDiscovery::stopMonitoring() {
    Running running;
    {
        std::lock_guard lock(mutex_);
        std::swap(running_, running);
    }
    finish(std::move(running));
}

void UdevPortDiscovery::finish(Running running) {
    if (!running.thread.joinable()) return;
    running.monitor->requestStop();
    // Joining from the callback would wait for itself; the thread ends when the callback
    // returns, and owns the monitor until then.
    if (running.thread.get_id() == std::this_thread::get_id())
        running.thread.detach();
    else
        running.thread.join();
}

}  // namespace scalino
