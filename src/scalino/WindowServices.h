#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "worker/Connection.h"

namespace scalino {

class Preferences;

// What the window takes from the process, so that tests can give their own: the settings
// store, the outputs of a connection, the serial ports, the end of the process, the draw
// that decides on the update check and whether an X server tells the desktop's layout.
struct WindowServices {
    // The root of the preferences tree the settings live in.
    Preferences* preferencesRoot = nullptr;
    Connection::Outputs outputs;
    // The names of the serial ports; throws SerialPortException when they cannot be listed.
    std::function<std::vector<std::string>()> listPorts;
    // Ends the process with the status once control returns to the event loop.
    std::function<void(int status)> exit;
    // Whether this start runs the update check (when the setting allows it).
    std::function<bool()> updateCheckDue;
    // Whether an X server answers with the desktop's keyboard layout; when none does, the
    // desktop's layout must be named before connecting. None: taken as answering.
    std::function<bool()> serverLayoutAvailable;
    // Whether this Wayland session offers a way of sending keys that brings the desktop's keymap
    // along (waylandKeyboardOffered); asked for the automatic keyboard output. None: taken as
    // not.
    std::function<bool()> waylandKeyboardAvailable;
    // The autostart folder the start at login writes its entry to; empty for the user's
    // ($XDG_CONFIG_HOME/autostart), looked up each time it is used.
    std::filesystem::path autostartFolder;
};

// Key events for the settings' layout through the settings' keyboard output, with the layout
// name for the desktop's layout; throws KeyEventError as createKeyEventGenerator does.
// A stop ends a wait for the desktop's consent.
std::shared_ptr<KeyEventGenerator> settingsKeyEvents(const Config& config, std::stop_token stop);

// Whether a way of this Wayland session that brings the desktop's keymap along is offered: the
// compositor's virtual keyboard, KWin's fake input, or the portal with libei. The automatic
// keyboard output's first choices in a Wayland session.
bool waylandKeyboardOffered();

// The services of the real program: the process's settings file (shared in a multi-user
// installation), keys through XTest, the Wayland virtual keyboard or uinput, sound through
// FluidSynth, the serial driver's ports, QCoreApplication::exit, the update check on one start
// in four, the X server on $DISPLAY for the desktop's layout, the compositor on
// $WAYLAND_DISPLAY for its virtual keyboard and the user's autostart folder.
WindowServices processWindowServices();

}  // namespace scalino
