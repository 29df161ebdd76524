#include "platform/KeyEventBackend.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/DesktopKeyEvents.h"
#include "platform/LayoutKeyEvents.h"
#include "platform/PortalKeyboard.h"
#include "platform/UinputKeyboard.h"
#include "platform/WaylandVirtualKeyboard.h"
#include "platform/X11DesktopLayout.h"
#include "platform/XTestKeyboard.h"
#include "worker/RecordingKeyEvents.h"

namespace scalino {

namespace {

// What a recording keeps: the newest events, a few hundred values' worth.
constexpr size_t kRecordedEventsKept = 20000;

bool isWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

// In a Wayland session: the compositor's virtual keyboard reaches every application; uinput too,
// but only where this user was given it (it is never opened to find out, which would leave a
// device behind for a moment); XTest on Xwayland reaches only X11 applications, a last resort
// that says so (XTestKeyboard::method).
std::unique_ptr<PhysicalKeyboard> chooseWaylandKeyboard(std::string_view xkbLayout) {
    std::string failures;
    try {
        return WaylandVirtualKeyboard::open("", std::string(xkbLayout));
    } catch (const KeyEventError& error) {
        failures = std::string("Wayland virtual keyboard: ") + error.what();
    }
    if (access(UinputKeyboard::kDevicePath, W_OK) == 0) {
        try {
            return UinputKeyboard::create();
        } catch (const KeyEventError& error) {
            failures += std::string(". uinput: ") + error.what();
        }
    } else {
        failures += std::string(". uinput: ") + UinputKeyboard::kDevicePath +
                    " is not writable for this user";
    }
    try {
        return XTestKeyboard::open();
    } catch (const KeyEventError& error) {
        throw KeyEventError("no way to send keys in this Wayland session. " + failures +
                            ". X11 (Xwayland): " + error.what());
    }
}

std::unique_ptr<PhysicalKeyboard> chooseKeyboard(std::string_view xkbLayout) {
    // A Wayland session's own applications do not see XTest events, only its X11 ones do.
    if (isWaylandSession()) return chooseWaylandKeyboard(xkbLayout);
    std::string x11Failure;
    try {
        return XTestKeyboard::open();
    } catch (const KeyEventError& error) {
        x11Failure = error.what();
    }
    try {
        return UinputKeyboard::create();
    } catch (const KeyEventError& error) {
        throw KeyEventError("neither X11 nor uinput can send keys. X11: " + x11Failure +
                            ". uinput: " + error.what());
    }
}

// The typing engine's key events, kept. On the desktop's layout a character the layout lacks is
// refused as it would be when typing: against the named layout, or the X server's where one
// answers (a dry run without either takes every character).
std::unique_ptr<KeyEventGenerator> recording(ConfigHelper::KeyboardType layout,
                                             std::string_view xkbLayout) {
    // A recording that runs for hours stays small.
    auto keys = std::make_unique<RecordingKeyEvents>(kRecordedEventsKept);
    if (layout != ConfigHelper::KeyboardType::DESKTOP) return keys;
    std::shared_ptr<DesktopLayout> desktop;
    if (!xkbLayout.empty()) {
        desktop = std::make_shared<NamedDesktopLayout>(xkbLayout);
    } else {
        try {
            desktop = X11DesktopLayout::open();
        } catch (const KeyEventError&) {
            return keys;
        }
    }
    keys->setTypeable([desktop](char32_t c) { return desktop->characters().canType(c); });
    return keys;
}

}  // namespace

bool isKeyEventBackend(std::string_view name) {
    return std::ranges::find(kKeyEventBackends, name) != std::end(kKeyEventBackends);
}

std::unique_ptr<DesktopLayout> openDesktopLayout(std::string_view xkbLayout) {
    if (!xkbLayout.empty()) return std::make_unique<NamedDesktopLayout>(xkbLayout);
    try {
        return X11DesktopLayout::open();
    } catch (const KeyEventError& error) {
        throw KeyEventError(std::string("the desktop's keyboard layout cannot be read from an X "
                                        "server (") +
                            error.what() +
                            "): name the layout in the xkbLayout setting, such as de or ch(fr)");
    }
}

std::unique_ptr<KeyEventGenerator> createKeyEventGenerator(ConfigHelper::KeyboardType layout,
                                                           std::string_view backend,
                                                           std::string_view xkbLayout) {
    if (backend == "record") return recording(layout, xkbLayout);
    std::unique_ptr<PhysicalKeyboard> keyboard;
    if (backend.empty() || backend == "auto") {
        keyboard = chooseKeyboard(xkbLayout);
    } else if (backend == "x11") {
        keyboard = XTestKeyboard::open();
    } else if (backend == "wayland") {
        keyboard = WaylandVirtualKeyboard::open("", std::string(xkbLayout));
    } else if (backend == "portal") {
        keyboard = PortalKeyboard::open(restoreTokenFile());
    } else if (backend == "uinput") {
        keyboard = UinputKeyboard::create();
    } else {
        throw std::invalid_argument("unknown keyboard backend '" + std::string(backend) +
                                    "': use x11, wayland, portal, uinput or record");
    }
    // A keyboard that hands over its keymap (the Wayland virtual keyboard) or is handed one types
    // with it: that is the layout every application reads its keys with.
    if (layout == ConfigHelper::KeyboardType::DESKTOP) {
        std::unique_ptr<DesktopLayout> desktop = keyboard->receiverLayout();
        if (!desktop) desktop = openDesktopLayout(xkbLayout);
        return std::make_unique<DesktopKeyEvents>(std::move(desktop), std::move(keyboard));
    }
    std::function<std::string()> desktopLayout = [] { return activeX11LayoutName(); };
    if (std::shared_ptr<DesktopLayout> receiver = keyboard->receiverLayout()) {
        desktopLayout = [receiver] { return receiver->name(); };
    }
    return std::make_unique<LayoutKeyEvents>(layout, std::move(keyboard), desktopLayout);
}

}  // namespace scalino
