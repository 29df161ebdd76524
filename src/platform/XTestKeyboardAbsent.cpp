// XTestKeyboard in a build without X11 (SCALINO_WITH_X11=OFF): CMake compiles this file instead
// of XTestKeyboard.cpp, so that choosing the x11 backend says what to use instead.
#include "platform/XTestKeyboard.h"

#include "worker/KeyEventGenerator.h"

namespace scalino {

std::unique_ptr<XTestKeyboard> XTestKeyboard::open(const std::string&) {
    throw KeyEventError("this build has no X11 keyboard output; use --keyboard wayland or uinput");
}

// No object is ever made; these complete the class for the linker.
XTestKeyboard::XTestKeyboard(_XDisplay* display, std::string, int xkbEventBase)
    : display_(display), xkbEventBase_(xkbEventBase) {}
XTestKeyboard::~XTestKeyboard() = default;
void XTestKeyboard::press(int key) {
    send(key, true);
}
void XTestKeyboard::release(int key) {
    send(key, false);
}
bool XTestKeyboard::isLedOn(KeyboardLed) {
    return false;
}
std::string XTestKeyboard::method() const {
    return "";
}
void XTestKeyboard::sync() {}
void XTestKeyboard::takeIndicatorEvents() {}
void XTestKeyboard::readIndicators() {}
void XTestKeyboard::send(int, bool) {
    throw KeyEventError("this build has no X11 keyboard output; use --keyboard wayland or uinput");
}

}  // namespace scalino
