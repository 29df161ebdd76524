#pragma once

#include <memory>
#include <stop_token>
#include <string_view>

#include "config/ConfigHelper.h"
#include "platform/DesktopLayout.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

// The ways key events can leave the program: "portal" (the remote-desktop portal of GNOME and
// KDE Plasma, after the user's consent; through libei where the portal offers it), "kde" (KWin's
// fake input, allowed to the installed program without asking), "wayland" (the virtual keyboard
// of Sway and the other wlroots compositors), "uinput" (a virtual keyboard of the kernel, for the
// console and other compositors), "x11" (XTest on the X display), "record" (kept, not sent).
// "auto" (or "") chooses at run time, as below.
inline constexpr std::string_view kKeyEventBackends[] = {"auto",   "portal", "kde",   "wayland",
                                                         "uinput", "x11",    "record"};

bool isKeyEventBackend(std::string_view name);

// Key events for the layout through the named backend. "" chooses at run time. In a Wayland
// session: the portal with libei (one consent, kept through the restore token in the user's
// state folder, restoreTokenFile), KWin's fake input, the portal without libei (consent at
// every start), the virtual keyboard, uinput where this user may write to it, and last XTest on
// Xwayland (which only X11 applications see). Elsewhere X11 where a display answers, else
// uinput. The desktop's layout is the keymap the keyboard hands over or is handed
// (PhysicalKeyboard::receiverLayout, with xkbLayout for a seat that has no keyboard); otherwise
// it comes from xkbLayout when that names one, else from the X server. A stop ends a wait for
// the desktop's consent dialog early. Throws KeyEventError saying what to do when the backend or
// the layout cannot be had, std::invalid_argument for a name that is none of the backends.
std::unique_ptr<KeyEventGenerator> createKeyEventGenerator(ConfigHelper::KeyboardType layout,
                                                           std::string_view backend = "",
                                                           std::string_view xkbLayout = "",
                                                           std::stop_token stop = {});

// The source of the desktop's layout: xkbLayout compiled when it names one, else the live layout
// of the X server on $DISPLAY. Throws KeyEventError saying what to do when there is neither.
std::unique_ptr<DesktopLayout> openDesktopLayout(std::string_view xkbLayout);

}  // namespace scalino
