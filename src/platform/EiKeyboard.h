#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/DesktopLayout.h"
#include "platform/PhysicalKeyboard.h"

namespace scalino {

// Keys sent through libei (emulated input) to an EIS server, the input emulation of GNOME 45+
// and KDE Plasma 6.1+ that the remote-desktop portal hands out as a socket (ConnectToEIS). libei
// is loaded at run time (libei.so.1, package libei1), so that a build without it gains this way
// where the system has the library. The keyboard is the keyboard device the server adds to its
// seat; the server tells its keymap, which the receiver layout types with, and follows: a device
// removed and added again with another keymap, or another group in the server's modifiers,
// applies from the next text. The lights are the locked modifiers the server reports (off until
// it does). The calls may come from different threads; they are serialised.
class EiKeyboard : public PhysicalKeyboard {
public:
    // The name the library is loaded by.
    static constexpr const char* kLibrary = "libei.so.1";

    // Takes eisFd (a connected socket to an EIS server), also when it throws, and keeps session
    // (what the socket came from, such as the portal's session) as long as the connection. Waits
    // up to timeout for the server to offer a seat with a keyboard and to let it send (a resumed
    // keyboard device). library: the file or name dlopen loads (tests point elsewhere). Throws
    // KeyEventError saying what to do when libei cannot be loaded, the server refuses or goes
    // away, or no keyboard comes in time.
    // Whether the library loads with every function this keyboard calls: asked before the
    // portal is asked for an EIS connection, which it hands out instead of its own keys.
    static bool libraryAvailable(const std::string& library = kLibrary);

    static std::unique_ptr<EiKeyboard> open(
        int eisFd, std::shared_ptr<void> session = nullptr,
        std::chrono::milliseconds timeout = std::chrono::seconds(5),
        const std::string& library = kLibrary);
    ~EiKeyboard() override;
    EiKeyboard(const EiKeyboard&) = delete;
    EiKeyboard& operator=(const EiKeyboard&) = delete;

    // Throw KeyEventError when the server went away, or no keyboard device of the server lets
    // keys through for the timeout given to open (removed and not added again, or paused).
    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    std::string method() const override;
    // The keymap of the server's keyboard device, following its changes; null when the server
    // gave the device no keymap (which keymap applies is then its business, the desktop's).
    // Valid beyond the keyboard: it keeps what it needs of the connection.
    std::unique_ptr<DesktopLayout> receiverLayout() const override;

    struct Connection;

private:
    explicit EiKeyboard(std::shared_ptr<Connection> connection);
    void send(int key, bool down);

    std::shared_ptr<Connection> connection_;
};

}  // namespace scalino
