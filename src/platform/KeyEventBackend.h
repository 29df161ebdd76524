#pragma once

#include <memory>
#include <string_view>

#include "config/ConfigHelper.h"
#include "platform/DesktopLayout.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

// The ways key events can leave the program: "x11" (XTest on the X display), "uinput" (a
// virtual keyboard of the kernel, for Wayland and the console), "record" (kept, not sent).
inline constexpr std::string_view kKeyEventBackends[] = {"x11", "uinput", "record"};

bool isKeyEventBackend(std::string_view name);

// Key events for the layout through the named backend. "" chooses at run time: X11 where a
// display answers and the session is not a Wayland one, else uinput. The desktop's layout reads
// its keymap from xkbLayout when that names one, else from the X server. Throws KeyEventError
// saying what to do when the backend or the layout cannot be had, std::invalid_argument for a
// name that is none of the backends.
std::unique_ptr<KeyEventGenerator> createKeyEventGenerator(ConfigHelper::KeyboardType layout,
                                                           std::string_view backend = "",
                                                           std::string_view xkbLayout = "");

// The source of the desktop's layout: xkbLayout compiled when it names one, else the live layout
// of the X server on $DISPLAY. Throws KeyEventError saying what to do when there is neither.
std::unique_ptr<DesktopLayout> openDesktopLayout(std::string_view xkbLayout);

}  // namespace scalino
