#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DesktopLayout.h"
#include "platform/PhysicalKeyboard.h"

struct wl_registry;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct xkb_state;

namespace scalino {

class WaylandConnection;
class WaylandSeatKeyboard;

// Keys sent to a Wayland compositor through its virtual-keyboard protocol
// (zwp_virtual_keyboard_manager_v1, offered by Sway and the other wlroots compositors), as from
// another keyboard of the user's seat. The keyboard types with the keymap the seat's keyboard
// has, which it uploads as its own, so that a key means to every application what it means on
// the user's keyboard. The compositor does not work out the modifiers of a virtual keyboard from
// its keys: the keyboard keeps its own XKB state and sends the modifiers after every key that
// changes them; the lights (Caps Lock, NumLock) are those of that state.
class WaylandVirtualKeyboard : public PhysicalKeyboard {
public:
    // Connects to displayName, or to $WAYLAND_DISPLAY when it is empty (a name, or an absolute
    // path to the socket). A seat without a keyboard (a kiosk, a headless compositor) gets one
    // with seatlessLayout ("de", "ch(fr)"), us where that is empty. Throws KeyEventError saying
    // what to do when no compositor answers, it lacks the protocol or the seat's keymap cannot be
    // read.
    static std::unique_ptr<WaylandVirtualKeyboard> open(const std::string& displayName = "",
                                                        const std::string& seatlessLayout = "");
    ~WaylandVirtualKeyboard() override;
    WaylandVirtualKeyboard(const WaylandVirtualKeyboard&) = delete;
    WaylandVirtualKeyboard& operator=(const WaylandVirtualKeyboard&) = delete;

    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    std::string method() const override;
    // Returns once the compositor has handled every event sent so far.
    void sync();

    // The layout this keyboard types with, from the same keymap, for the desktop's layout.
    std::unique_ptr<DesktopLayout> receiverLayout() const override;
    // The display connected to, for messages.
    const std::string& displayName() const;

private:
    WaylandVirtualKeyboard() = default;
    void connect(const std::string& displayName, const std::string& seatlessLayout);
    void readSeatKeymap();
    void uploadKeymap();
    void send(int key, bool down);

    mutable std::mutex mutex_;  // one request at a time on the connection, and the XKB state
    // Declared first, so that it goes last.
    std::unique_ptr<WaylandConnection> connection_;
    wl_registry* registry_ = nullptr;
    std::unique_ptr<WaylandSeatKeyboard> seat_;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::string keymapText_;  // the keyboard's keymap: the seat's, as the compositor sent it
    xkb_state* state_ = nullptr;
    // The modifiers as last sent: depressed, latched, locked, group.
    uint32_t sentModifiers_[4] = {0, 0, 0, 0};

    friend struct WaylandListeners;
};

}  // namespace scalino
