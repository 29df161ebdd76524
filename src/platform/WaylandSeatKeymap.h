#pragma once

#include <string>

namespace scalino {

// The keymap the compositor on displayName ($WAYLAND_DISPLAY when empty) hands its clients for
// the user's seat, in the XKB text format: the keymap keys sent by a way that brings none along
// (the remote-desktop portal's own keys) are read with. Empty where no compositor answers or
// the seat has no keyboard; the caller then looks elsewhere.
std::string readSeatKeymap(const std::string& displayName = "");

}  // namespace scalino
