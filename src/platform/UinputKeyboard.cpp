#include "platform/UinputKeyboard.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// The keys a full keyboard has; enough for any layout's keys and for the session to take the
// device for a keyboard.
constexpr int kLastKey = KEY_MICMUTE;

// The ways that need no access to uinput.
constexpr const char* kInstead =
    "type through the Wayland virtual keyboard (--keyboard wayland) under Sway and the other "
    "wlroots compositors, or through X11 (--keyboard x11) in an X11 session or into X11 "
    "applications on Xwayland";

std::string openFailure(const std::string& path, int error) {
    const std::string reason = path + ": " + std::strerror(error);
    if (error == ENOENT || error == ENODEV || error == ENXIO) {
        return "cannot open " + reason +
               ". Load the uinput kernel module with 'sudo modprobe uinput', or " + kInstead;
    }
    if (error == EACCES || error == EPERM) {
        // Write access to uinput lets a user type into every session of the machine, the login
        // screen's too: not something to hand out for typing values.
        return "cannot open " + reason + ". Instead, " + kInstead;
    }
    return "cannot open " + reason;
}

void control(int fd, unsigned long request, unsigned long argument, const char* what) {
    if (ioctl(fd, request, argument) < 0) {
        const int error = errno;
        close(fd);
        throw KeyEventError(std::string("cannot set up the virtual keyboard (") + what +
                            "): " + std::strerror(error));
    }
}

}  // namespace

std::unique_ptr<UinputKeyboard> UinputKeyboard::create(const std::string& path,
                                                       std::chrono::milliseconds settlingTime) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw KeyEventError(openFailure(path, errno));
    control(fd, UI_SET_EVBIT, EV_KEY, "keys");
    control(fd, UI_SET_EVBIT, EV_SYN, "reports");
    control(fd, UI_SET_EVBIT, EV_LED, "LEDs");
    for (int key = KEY_ESC; key <= kLastKey; ++key)
        control(fd, UI_SET_KEYBIT, static_cast<unsigned long>(key), "key");
    control(fd, UI_SET_LEDBIT, LED_NUML, "NumLock LED");
    control(fd, UI_SET_LEDBIT, LED_CAPSL, "Caps Lock LED");
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1209;  // the open-source vendor id; the product is ours to number
    setup.id.product = 0x5ca1;
    setup.id.version = 1;
    std::strncpy(setup.name, "Scalino virtual keyboard", UINPUT_MAX_NAME_SIZE - 1);
    if (ioctl(fd, UI_DEV_SETUP, &setup) < 0) {
        const int error = errno;
        close(fd);
        throw KeyEventError(std::string("cannot set up the virtual keyboard: ") +
                            std::strerror(error));
    }
    control(fd, UI_DEV_CREATE, 0, "create");
    std::this_thread::sleep_for(settlingTime);
    return std::make_unique<UinputKeyboard>(fd, true);
}

UinputKeyboard::UinputKeyboard(int fd, bool destroy) : fd_(fd), destroy_(destroy) {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

UinputKeyboard::~UinputKeyboard() {
    if (destroy_) {
        // Readers drop what is still queued for a device that goes away.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ioctl(fd_, UI_DEV_DESTROY);
    }
    close(fd_);
}

void UinputKeyboard::press(int key) {
    send(key, 1);
}

void UinputKeyboard::release(int key) {
    send(key, 0);
}

void UinputKeyboard::send(int key, int value) {
    if (key < KEY_ESC || key > kLastKey) {
        throw KeyEventError("the virtual keyboard has no key " + std::to_string(key));
    }
    input_event events[2]{};
    events[0].type = EV_KEY;
    events[0].code = static_cast<__u16>(key);
    events[0].value = value;
    events[1].type = EV_SYN;
    events[1].code = SYN_REPORT;
    std::lock_guard lock(mutex_);
    for (;;) {
        const ssize_t written = write(fd_, events, sizeof events);
        if (written == static_cast<ssize_t>(sizeof events)) return;
        if (written < 0 && errno == EINTR) continue;
        const std::string reason =
            written < 0 ? std::strerror(errno) : "only part of the event was taken";
        throw KeyEventError("cannot send key " + std::to_string(key) +
                            " to the virtual keyboard: " + reason);
    }
}

std::string UinputKeyboard::method() const {
    return "uinput";
}

bool UinputKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(mutex_);
    readLedEvents();
    return led == KeyboardLed::CapsLock ? capsLock_ : numLock_;
}

// The session sets the LEDs of every keyboard; uinput hands those writes back as events.
void UinputKeyboard::readLedEvents() {
    input_event events[16];
    for (;;) {
        const ssize_t n = read(fd_, events, sizeof events);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (size_t i = 0; i < static_cast<size_t>(n) / sizeof(input_event); ++i) {
            if (events[i].type != EV_LED) continue;
            if (events[i].code == LED_CAPSL) capsLock_ = events[i].value != 0;
            if (events[i].code == LED_NUML) numLock_ = events[i].value != 0;
        }
    }
}

}  // namespace scalino
