#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/DesktopLayout.h"

struct xcb_connection_t;

namespace scalino {

// The live keyboard layout of an X server (under Wayland, Xwayland's, which mirrors the
// compositor's): the server's keymap and its active group, read again when the server says the
// keymap or the group changed (XKB NewKeyboardNotify, MapNotify, StateNotify), so that a
// layout switched on the desktop applies from the next character on. One thread at a time.
class X11DesktopLayout : public DesktopLayout {
public:
    // Connects to displayName, or to $DISPLAY when it is empty; throws KeyEventError when no X
    // server answers there or it lacks the XKB extension.
    static std::unique_ptr<X11DesktopLayout> open(const std::string& displayName = "");
    ~X11DesktopLayout() override;
    X11DesktopLayout(const X11DesktopLayout&) = delete;
    X11DesktopLayout& operator=(const X11DesktopLayout&) = delete;

    const XkbCharacterTable& characters() override;
    std::string name() override;

private:
    X11DesktopLayout(xcb_connection_t* connection, int device, uint8_t firstEvent);
    // Handles what the server sent; true when the keymap or the group changed.
    bool takeEvents();
    void readKeymap();
    void readGroup();

    xcb_connection_t* connection_;
    int device_;
    uint8_t firstEvent_;
    std::optional<XkbKeymap> keymap_;
    unsigned group_ = 0;
    std::unique_ptr<XkbCharacterTable> table_;
};

// The X server's active layout as XKB names it ("de", "ch(fr)"), or "" when no X server
// answers on displayName ($DISPLAY when empty) or it does not say.
std::string activeX11LayoutName(const std::string& displayName = "");

}  // namespace scalino
