// The Wayland helpers in a build without Wayland (SCALINO_WITH_WAYLAND=OFF): the keyboards'
// members name their destructors, so CMake compiles this file instead of WaylandConnection.cpp,
// WaylandSeatKeyboard.cpp, WaylandSeatKeymap.cpp and SwayGroupWatch.cpp. No object is ever
// made: the keyboards' open says what to use instead first; no keymap is read.
#include "platform/SwayGroupWatch.h"
#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "platform/WaylandSeatKeymap.h"

namespace scalino {

WaylandConnection::~WaylandConnection() = default;
WaylandSeatKeyboard::~WaylandSeatKeyboard() = default;
SwayGroupWatch::~SwayGroupWatch() = default;

std::string readSeatKeymap(const std::string&) {
    return "";
}

}  // namespace scalino
