#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DesktopLayout.h"
#include "platform/PhysicalKeyboard.h"

struct wl_registry;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct xkb_state;

namespace scalino {

class SwayGroupWatch;
class WaylandConnection;
class WaylandSeatKeyboard;

// Keys sent to a Wayland compositor through its virtual-keyboard protocol
// (zwp_virtual_keyboard_manager_v1, offered by Sway and the other wlroots compositors), as from
// another keyboard of the user's seat. The keyboard types with the keymap the seat's keyboard
// has, which it uploads as its own, so that a key means to every application what it means on
// the user's keyboard; it follows that keymap and its active group while connected (see
// receiverLayout). The compositor does not work out the modifiers of a virtual keyboard from its
// keys: the keyboard keeps its own XKB state and sends the modifiers after every key that
// changes them; the lights (Caps Lock, NumLock) are those of that state.
//
// A character the user's keymap lacks is typed as wtype does: its keysym goes on a spare key (a
// keycode from 9 to 255 the keymap leaves empty, at most 64; 18 on us, given anew once all are
// taken) of the user's keymap extended with it, which the keyboard uploads before pressing the
// key, and the user's own keymap is uploaded again once every key is up, so that other keyboards
// and applications see the user's keymap in between.
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

    // The layout this keyboard types with, for the desktop's layout. Its characters() are those
    // of the seat's keymap and active group as they are at the call: it takes what the
    // compositor sent since without waiting for more, and on a new keymap of the user's uploads
    // that as the keyboard's own and starts its state afresh (a layout changed on the desktop
    // applies from the next text). Every other character that has a keysym is offered on a spare
    // key. The layout may outlive the keyboard; it then keeps the keymap it last had.
    std::unique_ptr<DesktopLayout> receiverLayout() const override;
    // The display connected to, for messages.
    const std::string& displayName() const;
    // The user's keymap as the keyboard last took it from the seat, in the text format
    // (XKB_KEYMAP_FORMAT_TEXT_V1), and its active group; for tests and messages.
    std::string userKeymap() const;
    unsigned userGroup() const;

private:
    struct Link;  // between the keyboard and its layouts

    WaylandVirtualKeyboard();
    void connect(const std::string& displayName, const std::string& seatlessLayout);
    void readSeatKeymap();
    void uploadKeymap(const std::string& text, bool keepLocks);
    void send(int key, bool down);
    void sendModifiers();
    void followSeat();
    void takeUserKeymap(std::string text);
    bool isUsersKeymap(const std::string& text);
    void findSpareKeys();
    std::optional<int> spareKeyFor(uint32_t keysym);
    std::string extendedKeymap() const;

    std::shared_ptr<Link> link_;  // its mutex: one request at a time, and the state below
    // Declared before the objects on it, so that it goes after them.
    std::unique_ptr<WaylandConnection> connection_;
    wl_registry* registry_ = nullptr;
    std::unique_ptr<WaylandSeatKeyboard> seat_;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    unsigned keymapsTaken_ = 0;  // of the seat's, the last one looked at
    // The group the seat's keyboard sent last and is not yet looked at.
    std::optional<unsigned> seatGroup_;
    std::unique_ptr<SwayGroupWatch> swayGroups_;  // where Sway reports the group through its IPC
    std::string userKeymap_;                      // the user's keymap, as the compositor sent it
    unsigned userGroup_ = 0;
    uint64_t generation_ = 0;  // counts the changes of the user's keymap and group
    // Keymaps the seat sent that are no change of the user's: the user's own, and ours.
    std::vector<std::string> knownKeymaps_;
    std::vector<std::string> ownCanonicalKeymaps_;  // as libxkbcommon writes them out
    // The spare keys (evdev codes) of the user's keymap, and the keysyms given to the first of
    // them, in order.
    std::vector<int> spareKeys_;
    std::vector<std::string> spareKeyNames_;  // their names in the keymap; "" for none
    std::vector<std::pair<int, uint32_t>> spareKeysyms_;
    uint64_t spareVersion_ = 0;     // counts the changes of spareKeysyms_
    uint64_t uploadedVersion_ = 0;  // the spareKeysyms_ of the keymap uploaded; 0: the user's
    std::vector<int> down_;         // keys pressed and not released, in order
    xkb_state* state_ = nullptr;
    // The modifiers as last sent: depressed, latched, locked, group.
    uint32_t sentModifiers_[4] = {0, 0, 0, 0};

    friend struct WaylandListeners;
    friend class WaylandReceiverLayout;
};

}  // namespace scalino
