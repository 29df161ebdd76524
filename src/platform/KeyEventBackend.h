#pragma once

#include <memory>
#include <string_view>

#include "config/ConfigHelper.h"
#include "platform/DesktopLayout.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

// The ways key events can leave the program: "x11" (XTest on the X display), "wayland" (the
// virtual keyboard of Sway and the other wlroots compositors), "portal" (the remote-desktop
// portal of GNOME and KDE Plasma, after the user's consent), "uinput" (a virtual keyboard of the
// kernel, for the console and other Wayland compositors), "record" (kept, not sent). "auto" (or
// "") chooses at run time, as below.
inline constexpr std::string_view kKeyEventBackends[] = {"auto",   "x11",    "wayland",
                                                         "portal", "uinput", "record"};

bool isKeyEventBackend(std::string_view name);

// Key events for the layout through the named backend. "" chooses at run time: in a Wayland
// session the Wayland virtual keyboard, else uinput where this user may write to it, else XTest
// on Xwayland (which only X11 applications see); elsewhere X11 where a display answers, else
// uinput. The desktop's layout is the Wayland keyboard's own keymap through that backend (with
// xkbLayout for a seat that has no keyboard); otherwise it reads its keymap from xkbLayout when
// that names one, else from the X server. The portal is only taken when named: its restore token
// is kept in the user's state folder (restoreTokenFile). Throws KeyEventError saying what to do when the
// backend or the layout cannot be had, std::invalid_argument for a name that is none of the
// backends.
std::unique_ptr<KeyEventGenerator> createKeyEventGenerator(ConfigHelper::KeyboardType layout,
                                                           std::string_view backend = "",
                                                           std::string_view xkbLayout = "");

// The source of the desktop's layout: xkbLayout compiled when it names one, else the live layout
// of the X server on $DISPLAY. Throws KeyEventError saying what to do when there is neither.
std::unique_ptr<DesktopLayout> openDesktopLayout(std::string_view xkbLayout);

}  // namespace scalino
