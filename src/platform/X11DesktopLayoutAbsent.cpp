// X11DesktopLayout in a build without X11 (SCALINO_WITH_X11=OFF): CMake compiles this file
// instead of X11DesktopLayout.cpp, so that the desktop's layout asks for a named one instead.
#include "platform/X11DesktopLayout.h"

#include "worker/KeyEventGenerator.h"

namespace scalino {

std::unique_ptr<X11DesktopLayout> X11DesktopLayout::open(const std::string&) {
    throw KeyEventError("this build has no X11 to read the layout from");
}

// No object is ever made; these complete the class for the linker.
X11DesktopLayout::X11DesktopLayout(xcb_connection_t* connection, int device, uint8_t firstEvent)
    : connection_(connection), device_(device), firstEvent_(firstEvent) {}
X11DesktopLayout::~X11DesktopLayout() = default;
const XkbCharacterTable& X11DesktopLayout::characters() {
    throw KeyEventError("this build has no X11 to read the layout from");
}
std::string X11DesktopLayout::name() {
    return "";
}

std::string activeX11LayoutName(const std::string&) {
    return "";
}

}  // namespace scalino
