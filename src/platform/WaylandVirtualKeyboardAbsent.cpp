// WaylandVirtualKeyboard in a build without Wayland (SCALINO_WITH_WAYLAND=OFF): CMake compiles
// this file instead of WaylandVirtualKeyboard.cpp, so that choosing the wayland backend says what
// to use instead.
#include "platform/WaylandVirtualKeyboard.h"

#include "platform/SwayGroupWatch.h"
#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

constexpr const char* kAbsent =
    "this build has no Wayland keyboard output; use --keyboard uinput, or --keyboard x11 for X11 "
    "applications";

}  // namespace

std::unique_ptr<WaylandVirtualKeyboard> WaylandVirtualKeyboard::open(const std::string&,
                                                                     const std::string&) {
    throw KeyEventError(kAbsent);
}

// No object is ever made; these complete the class for the linker.
WaylandVirtualKeyboard::~WaylandVirtualKeyboard() = default;
void WaylandVirtualKeyboard::press(int key) {
    send(key, true);
}
void WaylandVirtualKeyboard::release(int key) {
    send(key, false);
}
bool WaylandVirtualKeyboard::isLedOn(KeyboardLed) {
    return false;
}
std::string WaylandVirtualKeyboard::method() const {
    return "";
}
void WaylandVirtualKeyboard::sync() {}
std::unique_ptr<DesktopLayout> WaylandVirtualKeyboard::receiverLayout() const {
    throw KeyEventError(kAbsent);
}
const std::string& WaylandVirtualKeyboard::displayName() const {
    static const std::string none;
    return none;
}
std::string WaylandVirtualKeyboard::userKeymap() const {
    return "";
}
unsigned WaylandVirtualKeyboard::userGroup() const {
    return 0;
}
void WaylandVirtualKeyboard::send(int, bool) {
    throw KeyEventError(kAbsent);
}

}  // namespace scalino
