#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sd_bus;

namespace scalino {

// Where the portal's restore token is kept between runs: load gives the stored one ("" for
// none), save replaces it ("" forgets it). The caller decides where.
struct RestoreTokenStore {
    std::function<std::string()> load;
    std::function<void(const std::string&)> save;
};

// How long each answer of the portal may take. Start shows the desktop's consent dialog, which
// waits for the user; the other requests are answered by the portal itself.
struct PortalTimeouts {
    std::chrono::milliseconds request{std::chrono::seconds(10)};
    std::chrono::milliseconds start{std::chrono::minutes(2)};
};

// A keyboard session with the desktop's remote-desktop portal (org.freedesktop.portal.
// RemoteDesktop of xdg-desktop-portal, which GNOME and KDE Plasma implement) on the session bus:
// keys sent through it reach the focused application without access to any device, once the
// user has allowed it in the desktop's dialog. The session asks to persist until revoked, so
// that with the restore token from the store the desktop does not ask again. Not thread-safe:
// callers serialise the calls.
class RemoteDesktopPortal {
public:
    // The device type bit of a keyboard (types, devices).
    static constexpr uint32_t kKeyboard = 1;
    // Permissions persist until the user revokes them.
    static constexpr uint32_t kPersistUntilRevoked = 2;

    // Connects to $DBUS_SESSION_BUS_ADDRESS (or the user's bus) and starts a session: creates
    // it, selects the keyboard with the stored restore token, starts it (the dialog, unless the
    // token restores an earlier consent) and stores the new token. A token the desktop no longer
    // takes is forgotten and the session made again without it. Throws KeyEventError saying
    // what happened and what to do: no portal, the user declined, no answer in time.
    static std::unique_ptr<RemoteDesktopPortal> open(RestoreTokenStore tokens,
                                                     PortalTimeouts timeouts = {});
    // Closes the session.
    ~RemoteDesktopPortal();
    RemoteDesktopPortal(const RemoteDesktopPortal&) = delete;
    RemoteDesktopPortal& operator=(const RemoteDesktopPortal&) = delete;

    // Presses (true) or releases a key by its evdev code. Throws KeyEventError.
    void notifyKeyboardKeycode(int keycode, bool pressed);
    // Whether the portal offers ConnectToEIS (emulated input through libei), which keys could
    // take instead of one call each.
    bool offersEis() const { return offersEis_; }
    // The version of the portal's interface.
    uint32_t version() const { return version_; }
    const std::string& sessionHandle() const { return session_; }

private:
    RemoteDesktopPortal() = default;
    void connect();
    void handshake(RestoreTokenStore& tokens);
    // One try of the three requests; false when Start failed while restoreToken was given.
    bool trySession(const std::string& restoreToken, RestoreTokenStore& tokens);
    std::string nextToken();
    std::string requestPath(const std::string& token) const;
    void closeSession();

    sd_bus* bus_ = nullptr;
    PortalTimeouts timeouts_;
    std::string senderPart_;  // the unique name as it appears in request paths
    std::string session_;
    uint32_t version_ = 0;
    bool offersEis_ = false;
    unsigned tokenCount_ = 0;
};

}  // namespace scalino
