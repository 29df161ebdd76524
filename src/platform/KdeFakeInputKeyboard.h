#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/DesktopLayout.h"
#include "platform/PhysicalKeyboard.h"

struct wl_registry;
struct org_kde_kwin_fake_input;
struct xkb_state;

namespace scalino {

class WaylandConnection;
class WaylandSeatKeyboard;

// Keys sent to KWin, the compositor of KDE Plasma (5.27 and 6), through its own fake-input
// protocol (org_kde_kwin_fake_input, version 4 for keys). KWin offers the protocol only to
// programs whose desktop entry names it (X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input) and
// then lets them type without asking the user. The keys go through KWin's own keyboard: KWin
// works out the modifiers from them and applications read them with the seat's keymap, which
// the keyboard reads for the desktop's layout and follows while connected. The lights (Caps Lock,
// NumLock) are those of the seat's keyboard where KWin tells them (to a client with the keyboard
// focus), followed by the keyboard's own presses.
class KdeFakeInputKeyboard : public PhysicalKeyboard {
public:
    // What the keyboard tells KWin when it asks for fake input (authenticate).
    static constexpr const char* kApplication = "Scalino";
    static constexpr const char* kReason =
        "type the readings of measuring instruments (scales, balances, barcode scanners) into "
        "the application in front";

    // Connects to displayName, or to $WAYLAND_DISPLAY when it is empty (a name, or an absolute
    // path to the socket), asks KWin for fake input and reads the seat's keymap. A seat without
    // a keyboard types with seatlessLayout ("de", "ch(fr)"), us where that is empty. Throws
    // KeyEventError saying what to do when no compositor answers, it lacks the protocol (it is
    // KWin's, offered only to programs whose desktop entry names it) or has it older than
    // version 4, it refuses, or the seat's keymap cannot be read.
    static std::unique_ptr<KdeFakeInputKeyboard> open(const std::string& displayName = "",
                                                      const std::string& seatlessLayout = "");
    ~KdeFakeInputKeyboard() override;
    KdeFakeInputKeyboard(const KdeFakeInputKeyboard&) = delete;
    KdeFakeInputKeyboard& operator=(const KdeFakeInputKeyboard&) = delete;

    void press(int key) override;
    void release(int key) override;
    bool isLedOn(KeyboardLed led) override;
    // "KWin's fake input".
    std::string method() const override;
    // Returns once the compositor has handled every key sent so far.
    void sync();

    // The layout of the seat's keymap (the seatless layout where the seat has no keyboard). Its
    // characters() are those of the keymap KWin last sent at the call: it takes what KWin sent
    // since without waiting for more, so that a layout changed in KWin's settings applies from
    // the next text. The layout may outlive the keyboard; it then keeps the keymap it last had.
    std::unique_ptr<DesktopLayout> receiverLayout() const override;
    // The display connected to, for messages.
    const std::string& displayName() const;

private:
    struct Link;  // between the keyboard and its layouts

    KdeFakeInputKeyboard();
    void connect(const std::string& displayName, const std::string& seatlessLayout);
    void send(int key, bool down);
    void takeEvents();
    void startState();

    std::shared_ptr<Link> link_;  // its mutex: one request at a time, and the state below
    // Declared first, so that it goes last.
    std::unique_ptr<WaylandConnection> connection_;
    wl_registry* registry_ = nullptr;
    std::unique_ptr<WaylandSeatKeyboard> seat_;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    uint32_t offeredVersion_ = 0;  // of org_kde_kwin_fake_input; 0: not offered
    std::string keymapText_;       // the keymap the keys are read with: the seat's
    unsigned keymapsTaken_ = 0;    // of the seat's, the last one taken into keymapText_
    // The lock state as KWin last told it, followed by the keyboard's own presses: its lights.
    xkb_state* state_ = nullptr;

    friend struct FakeInputListeners;
    friend class KdeReceiverLayout;
};

}  // namespace scalino
