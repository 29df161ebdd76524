// KdeFakeInputKeyboard in a build without Wayland (SCALINO_WITH_WAYLAND=OFF): CMake compiles this
// file instead of KdeFakeInputKeyboard.cpp, so that choosing KWin's fake input says what to use
// instead.
#include "platform/KdeFakeInputKeyboard.h"

#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

constexpr const char* kAbsent =
    "this build has no Wayland keyboard output, KWin's fake input among them; use --keyboard "
    "uinput, or --keyboard x11 for X11 applications";

}  // namespace

std::unique_ptr<KdeFakeInputKeyboard> KdeFakeInputKeyboard::open(const std::string&,
                                                                 const std::string&) {
    throw KeyEventError(kAbsent);
}

// No object is ever made; these complete the class for the linker.
KdeFakeInputKeyboard::~KdeFakeInputKeyboard() = default;
void KdeFakeInputKeyboard::press(int key) {
    send(key, true);
}
void KdeFakeInputKeyboard::release(int key) {
    send(key, false);
}
bool KdeFakeInputKeyboard::isLedOn(KeyboardLed) {
    return false;
}
std::string KdeFakeInputKeyboard::method() const {
    return "";
}
void KdeFakeInputKeyboard::sync() {}
std::unique_ptr<DesktopLayout> KdeFakeInputKeyboard::receiverLayout() const {
    throw KeyEventError(kAbsent);
}
const std::string& KdeFakeInputKeyboard::displayName() const {
    static const std::string none;
    return none;
}
void KdeFakeInputKeyboard::send(int, bool) {
    throw KeyEventError(kAbsent);
}

}  // namespace scalino
