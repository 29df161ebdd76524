#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct wl_registry;
struct wl_seat;
struct wl_keyboard;

namespace scalino {

// The keyboard of the user's seat as a Wayland client sees it: the keymap the compositor hands
// every application and, while the client has the keyboard focus, the modifiers and locks. The
// keyboards that type with the seat's keymap (WaylandVirtualKeyboard, KdeFakeInputKeyboard) read
// it through this. Its events come with the connection's, dispatched by the owner, which
// serialises the calls.
class WaylandSeatKeyboard {
public:
    // Binds the seat the registry announced as name, at most at the version this needs, and
    // listens to it. The first seat is the user's; desktops have one.
    WaylandSeatKeyboard(wl_registry* registry, uint32_t name, uint32_t version);
    // Releases the keyboard and the seat; the connection stays the owner's.
    ~WaylandSeatKeyboard();
    WaylandSeatKeyboard(const WaylandSeatKeyboard&) = delete;
    WaylandSeatKeyboard& operator=(const WaylandSeatKeyboard&) = delete;

    wl_seat* seat() const { return seat_; }

    // Takes the seat's keyboard, where the seat says it has one, and waits for its keymap (the
    // first event of a new keyboard), calling roundtrip, the owner's, a few times at most: the
    // seat says what it has after one. Leaves keymapText() empty where the seat has no keyboard.
    // Throws KeyEventError when the keymap is no XKB one or cannot be read.
    void readKeymap(const std::function<void()>& roundtrip);
    // The seat's keymap as the compositor last sent it, in the XKB text format; empty before.
    const std::string& keymapText() const { return keymapText_; }
    // How many keymaps the compositor has sent, so that an owner sees a new one.
    unsigned keymapsReceived() const { return keymapsReceived_; }
    // Called with the modifiers (depressed, latched, locked, effective group) each time the
    // compositor sends them: to a client with the keyboard focus, on entering and on changes.
    using ModifiersHandler = std::function<void(uint32_t, uint32_t, uint32_t, uint32_t)>;
    void onModifiers(ModifiersHandler handler) { modifiersHandler_ = std::move(handler); }

private:
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    uint32_t capabilities_ = 0;
    bool capabilitiesKnown_ = false;
    std::string keymapText_;
    std::string keymapFailure_;
    unsigned keymapsReceived_ = 0;
    ModifiersHandler modifiersHandler_;

    friend struct SeatListeners;
};

}  // namespace scalino
