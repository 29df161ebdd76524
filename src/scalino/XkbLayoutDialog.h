#pragma once

#include <filesystem>
#include <optional>
#include <string>

class QWidget;

namespace scalino {

// The layout the system gives the console and new desktops: the first of XKBLAYOUT and of
// XKBVARIANT in the keyboard file (keyboard(5)), as "de" or "ch(fr)". "" when the file cannot
// be read or names no layout.
std::string systemXkbLayout(const std::filesystem::path& file = "/etc/default/keyboard");

// Asks for the desktop's layout by its XKB name, where no X server can tell it (a Wayland
// session without Xwayland), with proposal filled in. A name that is none gets an error and the
// question again; nothing when the user cancels.
std::optional<std::string> askXkbLayout(QWidget* parent, const std::string& proposal);

}  // namespace scalino
