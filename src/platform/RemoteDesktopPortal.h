#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

struct sd_bus;
struct sd_bus_slot;

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
    // Ends a wait early: the user gave up on the connection (the window's Stop, its closing)
    // while the desktop's dialog was still open.
    std::stop_token stop;
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
    // The application id registered with a host portal (org.freedesktop.host.portal.Registry),
    // so that the desktop's dialog names Scalino: the id of the desktop entry and AppStream
    // metainfo (resources/desktop, SCALINO_APP_ID there).
    static constexpr const char* kAppId = "com.velmora.Scalino";

    // The version of the RemoteDesktop interface of the portal on the session bus, 0 where no
    // bus answers within timeout or its portal lacks the interface: no session, no dialog,
    // nothing kept. No bus is 0 at once; a bus or a portal being started on demand (D-Bus
    // activation) that has not answered when timeout passes is 0 too. Version 2 brought
    // ConnectToEIS. For the automatic choice of a backend.
    static uint32_t offeredVersion(std::chrono::milliseconds timeout = kProbeTime);
    // How long the automatic choice waits for that answer; the bus may start xdg-desktop-portal
    // on demand.
    static constexpr std::chrono::milliseconds kProbeTime{3000};

    // Connects to $DBUS_SESSION_BUS_ADDRESS (or the user's bus) and starts a session: registers
    // kAppId where the portal has the host registry (silently not where it has none or refuses
    // it), creates the session, selects the keyboard with the stored restore token, starts it
    // (the dialog, unless the token restores an earlier consent) and stores the new token. A
    // token the desktop no longer takes is forgotten and the session made again without it.
    // Throws KeyEventError saying what happened and what to do: no portal, the user declined,
    // no answer in time.
    static std::unique_ptr<RemoteDesktopPortal> open(RestoreTokenStore tokens,
                                                     PortalTimeouts timeouts = {});
    // Closes the session.
    ~RemoteDesktopPortal();
    RemoteDesktopPortal(const RemoteDesktopPortal&) = delete;
    RemoteDesktopPortal& operator=(const RemoteDesktopPortal&) = delete;

    // Presses (true) or releases a key by its evdev code. Throws KeyEventError, saying so when
    // the desktop has ended the session (closed()).
    void notifyKeyboardKeycode(int keycode, bool pressed);
    // Whether the portal offers ConnectToEIS (emulated input through libei), which keys could
    // take instead of one call each.
    bool offersEis() const { return offersEis_; }
    // Asks the portal for a connection to its EIS server (ConnectToEIS) for this started
    // session and returns it: a file descriptor of the caller's own (close-on-exec), to hand to
    // libei. The portal takes it once per session, and keys then go through EIS only: the portal
    // refuses NotifyKeyboardKeycode after it. Throws KeyEventError when the portal does not offer
    // it (offersEis()), refuses it, or the session has ended.
    int connectToEis();
    // Whether the desktop has ended the session (Session.Closed: revoked from the desktop's
    // indicator, the user logged out) or the session bus has gone. Reads what the bus has
    // brought without waiting; a closed session stays closed: open a new one to ask anew.
    bool closed();
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
    void registerApp();
    // Takes in the signals the bus has brought, without waiting; then throws when closed.
    void throwIfClosed();

    sd_bus* bus_ = nullptr;
    sd_bus_slot* closedSlot_ = nullptr;  // the match of the session's Closed
    bool closed_ = false;
    PortalTimeouts timeouts_;
    std::string senderPart_;  // the unique name as it appears in request paths
    std::string session_;
    uint32_t version_ = 0;
    bool offersEis_ = false;
    unsigned tokenCount_ = 0;
};

}  // namespace scalino
