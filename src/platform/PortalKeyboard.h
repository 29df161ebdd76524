#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/PhysicalKeyboard.h"
#include "platform/RemoteDesktopPortal.h"

namespace scalino {

// Keys sent through the desktop's remote-desktop portal (GNOME, KDE Plasma), which needs no
// access to a device but the user's consent, given once in the desktop's dialog. The portal
// tells nothing of the keyboard's lights: Caps Lock and NumLock are as this keyboard's own
// presses of those keys left them, from off at the start.
class PortalKeyboard : public PhysicalKeyboard {
public:
    // Starts a session with the portal (RemoteDesktopPortal::open); throws KeyEventError.
    static std::unique_ptr<PortalKeyboard> open(RestoreTokenStore tokens,
                                                PortalTimeouts timeouts = {});
    explicit PortalKeyboard(std::unique_ptr<RemoteDesktopPortal> portal);

    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    std::string method() const override;
    // The portal brings no keymap along: the keys are read with the compositor's, where the
    // caller could read it (readSeatKeymap); none leaves the layout to the caller.
    void setReceiverKeymap(std::string keymapText) { receiverKeymap_ = std::move(keymapText); }
    std::unique_ptr<DesktopLayout> receiverLayout() const override;

    // Whether the portal offers EIS (RemoteDesktopPortal::offersEis).
    bool offersEis() const { return portal_->offersEis(); }
    // Whether the desktop has ended the session (RemoteDesktopPortal::closed): the next key
    // throws, and a new session asks the user anew.
    bool closed();

private:
    std::mutex mutex_;  // one call at a time on the session's bus connection
    std::unique_ptr<RemoteDesktopPortal> portal_;
    bool capsLock_ = false;
    bool numLock_ = false;
    std::string receiverKeymap_;
};

// The restore token kept in a file of its own under $XDG_STATE_HOME/scalino (~/.local/state
// when that is not set): per user, beside no settings, since it belongs to this desktop login
// and not to what the settings export carries. A file that cannot be written leaves the desktop
// asking again next time, nothing worse.
RestoreTokenStore restoreTokenFile();

}  // namespace scalino
