// The Wayland helpers in a build without Wayland (SCALINO_WITH_WAYLAND=OFF): the keyboards'
// members name their destructors, so CMake compiles this file instead of WaylandConnection.cpp
// and WaylandSeatKeyboard.cpp. No object is ever made: the keyboards' open says what to use
// instead first.
#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"

namespace scalino {

WaylandConnection::~WaylandConnection() = default;
WaylandSeatKeyboard::~WaylandSeatKeyboard() = default;

}  // namespace scalino
