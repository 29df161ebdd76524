#include "platform/XTestKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

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
    return std::unique_ptr<XTestKeyboard>(new XTestKeyboard(display, DisplayString(display)));
}

XTestKeyboard::XTestKeyboard(Display* display, std::string displayName)
    : display_(display), displayName_(std::move(displayName)) {
    XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
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
    const char* name = led == KeyboardLed::CapsLock ? "Caps Lock" : "Num Lock";
    const Atom atom = XInternAtom(display_, name, False);
    Bool on = False;
    if (!XkbGetNamedIndicator(display_, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on == True;
}

void XTestKeyboard::sync() {
    std::lock_guard lock(mutex_);
    XSync(display_, False);
}

}  // namespace scalino
