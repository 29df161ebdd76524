#include "platform/XTestKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <linux/input-event-codes.h>

#include <cstdlib>
#include <utility>

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

constexpr int kEvdevOffset = 8;

}  // namespace

std::unique_ptr<XTestKeyboard> XTestKeyboard::open(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display == nullptr) {
        const std::string name = displayName.empty() ? XDisplayName(nullptr) : displayName;
        if (name.empty()) throw KeyEventError("no X display: DISPLAY is not set");
        throw KeyEventError("cannot connect to the X display '" + name +
                            "': set DISPLAY to the display of the desktop session and allow "
                            "this user on it");
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        const std::string name = DisplayString(display);
        XCloseDisplay(display);
        throw KeyEventError("the X server of display '" + name +
                            "' lacks the XTest extension, which typing needs");
    }
    int opcode = 0, xkbEventBase = 0, xkbError = 0, xkbMajor = XkbMajorVersion,
        xkbMinor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &xkbEventBase, &xkbError, &xkbMajor, &xkbMinor)) {
        const std::string name = DisplayString(display);
        XCloseDisplay(display);
        throw KeyEventError("the X server of display '" + name +
                            "' lacks the XKB extension, which typing needs");
    }
    return std::unique_ptr<XTestKeyboard>(
        new XTestKeyboard(display, DisplayString(display), xkbEventBase));
}

XTestKeyboard::XTestKeyboard(Display* display, std::string displayName, int xkbEventBase)
    : display_(display), displayName_(std::move(displayName)), xkbEventBase_(xkbEventBase) {
    XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
    constexpr unsigned long kEvents =
        XkbIndicatorStateNotifyMask | XkbIndicatorMapNotifyMask | XkbNewKeyboardNotifyMask;
    XkbSelectEvents(display_, XkbUseCoreKbd, kEvents, kEvents);
}

XTestKeyboard::~XTestKeyboard() {
    XSync(display_, False);
    XCloseDisplay(display_);
}

void XTestKeyboard::press(int key) {
    send(key, true);
}

void XTestKeyboard::release(int key) {
    send(key, false);
}

void XTestKeyboard::send(int key, bool down) {
    const int keycode = key + kEvdevOffset;
    if (keycode < minKeycode_ || keycode > maxKeycode_) {
        throw KeyEventError("the X server has no keycode " + std::to_string(keycode) + " for key " +
                            std::to_string(key));
    }
    std::lock_guard lock(mutex_);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), down ? True : False, CurrentTime);
    XFlush(display_);
    if (key == KEY_CAPSLOCK || key == KEY_NUMLOCK || key == KEY_SCROLLLOCK) lockKeySent_ = true;
}

std::string XTestKeyboard::method() const {
    std::string method = "XTest on the X display " + displayName_;
    // Xwayland's: the Wayland session's own applications do not see these keys.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0')
        method += "; only X11 applications receive the keys";
    return method;
}

bool XTestKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(mutex_);
    if (lockKeySent_) {
        XSync(display_, False);  // the server's report of our own lock key is in then
        lockKeySent_ = false;
    }
    takeIndicatorEvents();
    if (indicatorsStale_) readIndicators();
    const int index = led == KeyboardLed::CapsLock ? capsLockIndex_ : numLockIndex_;
    return index >= 0 && ((indicatorState_ >> index) & 1u) != 0;
}

// What the server reported without being asked; nothing else is selected on this connection.
void XTestKeyboard::takeIndicatorEvents() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != xkbEventBase_) continue;
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbIndicatorStateNotify) {
            indicatorState_ = xkb.indicators.state;
        } else {
            indicatorsStale_ = true;  // a new keymap may place the lights elsewhere
        }
    }
}

void XTestKeyboard::readIndicators() {
    const auto indexOf = [this](const char* name) {
        int index = -1;
        const Atom atom = XInternAtom(display_, name, False);
        if (!XkbGetNamedIndicator(display_, atom, &index, nullptr, nullptr, nullptr)) return -1;
        return index;
    };
    capsLockIndex_ = indexOf("Caps Lock");
    numLockIndex_ = indexOf("Num Lock");
    if (XkbGetIndicatorState(display_, XkbUseCoreKbd, &indicatorState_) != Success)
        indicatorState_ = 0;
    indicatorsStale_ = false;
}

void XTestKeyboard::sync() {
    std::lock_guard lock(mutex_);
    XSync(display_, False);
}

}  // namespace scalino
