// RemoteDesktopPortal in a build without the portal (SCALINO_WITH_PORTAL=OFF): CMake compiles
// this file instead of RemoteDesktopPortal.cpp, so that choosing the portal backend says what to
// use instead.
#include "platform/RemoteDesktopPortal.h"

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

constexpr const char* kAbsent =
    "this build has no remote-desktop portal keyboard; use --keyboard wayland or uinput, or "
    "--keyboard x11 for X11 applications";

}  // namespace

// Nothing to offer: the automatic choice goes on to the next backend at once.
uint32_t RemoteDesktopPortal::offeredVersion(std::chrono::milliseconds) {
    return 0;
}

std::unique_ptr<RemoteDesktopPortal> RemoteDesktopPortal::open(RestoreTokenStore, PortalTimeouts) {
    throw KeyEventError(kAbsent);
}

// No object is ever made; these complete the class for the linker.
RemoteDesktopPortal::~RemoteDesktopPortal() = default;
void RemoteDesktopPortal::notifyKeyboardKeycode(int, bool) {
    throw KeyEventError(kAbsent);
}
int RemoteDesktopPortal::connectToEis() {
    throw KeyEventError(kAbsent);
}
bool RemoteDesktopPortal::closed() {
    return true;
}

}  // namespace scalino
