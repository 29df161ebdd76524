#include "platform/KeyEventBackend.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/DesktopKeyEvents.h"
#include "platform/EiKeyboard.h"
#include "platform/KdeFakeInputKeyboard.h"
#include "platform/LayoutKeyEvents.h"
#include "platform/PortalKeyboard.h"
#include "platform/UinputKeyboard.h"
#include "platform/WaylandSeatKeymap.h"
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

// Keys through the remote-desktop portal after the desktop's consent: through libei where the
// portal hands over an EIS connection and the library is installed, else one portal call per
// key. The portal takes only one of the two per session, so the choice is made before asking:
// libei says whether the library loads.
std::unique_ptr<PhysicalKeyboard> openPortalKeyboard(std::stop_token stop, bool libei) {
    PortalTimeouts timeouts;
    timeouts.stop = stop;
    auto portal = RemoteDesktopPortal::open(restoreTokenFile(), timeouts);
    if (!libei || !portal->offersEis()) {
        // Its own keys are read with the compositor's keymap, the seat's.
        auto keyboard = std::make_unique<PortalKeyboard>(std::move(portal));
        if (isWaylandSession()) keyboard->setReceiverKeymap(readSeatKeymap());
        return keyboard;
    }
    std::shared_ptr<RemoteDesktopPortal> session = std::move(portal);
    const int eis = session->connectToEis();
    return EiKeyboard::open(eis, session);
}

// The ways of a Wayland session, in the order they are tried, each with the reason it was
// passed over when it was.
class WaylandChoice {
public:
    WaylandChoice(std::string_view xkbLayout, std::stop_token stop)
        : xkbLayout_(xkbLayout), stop_(stop) {}

    std::unique_ptr<PhysicalKeyboard> choose() {
        const uint32_t portal = RemoteDesktopPortal::offeredVersion();
        // The portal with libei asks once and then persists; KWin's fake input never asks; the
        // portal without libei asks at every start; the virtual keyboard is wlroots'.
        if (portal == 0) {
            note("portal", "no remote-desktop portal answers on the session bus "
                           "(xdg-desktop-portal with a GNOME or KDE backend)");
        }
        // Where the portal may hand over EIS it goes first, and, its dialog answered, keeps
        // the session with its own keys where its backend turns out to have no EIS.
        const bool eis = portal >= 2 && EiKeyboard::libraryAvailable();
        if (auto keyboard = attempt("portal", eis, [&] { return openPortalKeyboard(stop_, true); }))
            return keyboard;
        if (auto keyboard = attempt("KWin fake input", true, [&] {
                return KdeFakeInputKeyboard::open("", xkbLayout_);
            }))
            return keyboard;
        if (auto keyboard = attempt("portal", portal >= 1 && !eis,
                                    [&] { return openPortalKeyboard(stop_, false); }))
            return keyboard;
        if (auto keyboard = attempt("Wayland virtual keyboard", true, [&] {
                return WaylandVirtualKeyboard::open("", xkbLayout_);
            }))
            return keyboard;
        // uinput only where this user was given it: it is never opened to find out, which would
        // leave a device behind for a moment.
        const bool uinput = access(UinputKeyboard::kDevicePath, W_OK) == 0;
        if (!uinput) note("uinput", std::string(UinputKeyboard::kDevicePath) + " is not writable "
                                    "for this user");
        if (auto keyboard = attempt("uinput", uinput, [] { return UinputKeyboard::create(); }))
            return keyboard;
        // XTest on Xwayland reaches only X11 applications: a last resort that says so
        // (XTestKeyboard::method).
        try {
            return XTestKeyboard::open();
        } catch (const KeyEventError& error) {
            note("X11 (Xwayland)", error.what());
        }
        throw KeyEventError("no way to send keys in this Wayland session. " + failures_);
    }

private:
    template <class Open>
    std::unique_ptr<PhysicalKeyboard> attempt(const char* way, bool possible, Open open) {
        if (!possible) return nullptr;
        try {
            return open();
        } catch (const KeyEventError& error) {
            note(way, error.what());
            return nullptr;
        }
    }

    void note(const char* way, const std::string& why) {
        if (!failures_.empty()) failures_ += ". ";
        failures_ += std::string(way) + ": " + why;
    }

    std::string xkbLayout_;
    std::stop_token stop_;
    std::string failures_;
};

std::unique_ptr<PhysicalKeyboard> chooseKeyboard(std::string_view xkbLayout,
                                                 std::stop_token stop) {
    // A Wayland session's own applications do not see XTest events, only its X11 ones do.
    if (isWaylandSession()) return WaylandChoice(xkbLayout, stop).choose();
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
                                                           std::string_view xkbLayout,
                                                           std::stop_token stop) {
    if (backend == "record") return recording(layout, xkbLayout);
    std::unique_ptr<PhysicalKeyboard> keyboard;
    if (backend.empty() || backend == "auto") {
        keyboard = chooseKeyboard(xkbLayout, stop);
    } else if (backend == "x11") {
        keyboard = XTestKeyboard::open();
    } else if (backend == "wayland") {
        keyboard = WaylandVirtualKeyboard::open("", std::string(xkbLayout));
    } else if (backend == "portal") {
        keyboard = openPortalKeyboard(stop, EiKeyboard::libraryAvailable());
    } else if (backend == "kde") {
        keyboard = KdeFakeInputKeyboard::open("", std::string(xkbLayout));
    } else if (backend == "uinput") {
        keyboard = UinputKeyboard::create();
    } else {
        throw std::invalid_argument("unknown keyboard backend '" + std::string(backend) +
                                    "': use portal, kde, wayland, uinput, x11 or record");
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
