#include "platform/WaylandVirtualKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// The key events' time: milliseconds on a clock of our own, as the protocol asks of one
// keyboard's events.
uint32_t milliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Where the protocol is missing or refused: what the user can do instead.
constexpr const char* kInstead =
    "Sway and the other wlroots compositors offer it; elsewhere type with --keyboard uinput, or "
    "with --keyboard x11 into X11 applications on Xwayland";

}  // namespace

// The registry's callbacks, with access to the keyboard they fill in.
struct WaylandListeners {
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* self = static_cast<WaylandVirtualKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
            self->seat_ = std::make_unique<WaylandSeatKeyboard>(registry, name, version);
        } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
                   self->manager_ == nullptr) {
            self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        }
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}

    static constexpr wl_registry_listener registry{global, globalRemove};
};

std::unique_ptr<WaylandVirtualKeyboard> WaylandVirtualKeyboard::open(
    const std::string& displayName, const std::string& seatlessLayout) {
    std::unique_ptr<WaylandVirtualKeyboard> keyboard(new WaylandVirtualKeyboard());
    keyboard->connect(displayName, seatlessLayout);
    return keyboard;
}

void WaylandVirtualKeyboard::connect(const std::string& displayName,
                                     const std::string& seatlessLayout) {
    connection_ = std::make_unique<WaylandConnection>(displayName, kInstead);
    registry_ = wl_display_get_registry(connection_->display());
    wl_registry_add_listener(registry_, &WaylandListeners::registry, this);
    connection_->roundtrip("listing its interfaces");
    if (manager_ == nullptr) {
        throw KeyEventError(
            std::string("the compositor does not offer the virtual-keyboard protocol "
                        "(zwp_virtual_keyboard_manager_v1); ") +
            kInstead);
    }
    if (seat_ == nullptr) throw KeyEventError("the Wayland compositor offers no seat to type on");
    // The seat says what it has once bound.
    connection_->roundtrip("asking for the seat");
    readSeatKeymap();
    keymapText_ = seat_->keymapText();
    const bool seatHadKeyboard = !keymapText_.empty();
    // A seat without a keyboard gets ours, with the layout asked for; a compositor that gives
    // new keyboards the keymap of its own settings hands that round, read below.
    if (!seatHadKeyboard) {
        keymapText_ = XkbKeymap::compile(seatlessLayout.empty() ? "us" : seatlessLayout).text();
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_->seat());
    uploadKeymap();
    connection_->roundtrip("creating the virtual keyboard");
    if (!seatHadKeyboard) {
        connection_->roundtrip("asking for the seat");
        readSeatKeymap();
        if (!seat_->keymapText().empty() && seat_->keymapText() != keymapText_) {
            keymapText_ = seat_->keymapText();
            uploadKeymap();
            connection_->roundtrip("handing over the keymap");
        }
    }
}

// The keymap of the seat's keyboard, as the compositor hands it to every application; none
// where the seat has no keyboard.
void WaylandVirtualKeyboard::readSeatKeymap() {
    seat_->readKeymap([this] { connection_->roundtrip("reading the keymap"); });
}

// Makes the keymap in hand the virtual keyboard's and starts its state afresh.
void WaylandVirtualKeyboard::uploadKeymap() {
    XkbKeymap keymap = XkbKeymap::fromString(keymapText_);
    xkb_state* state = xkb_state_new(keymap.get());
    if (state == nullptr) throw KeyEventError("cannot start the keyboard's state (out of memory?)");
    xkb_state_unref(state_);
    state_ = state;
    const int fd = memfd_create("scalino-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        throw KeyEventError(std::string("cannot hand over the keymap: ") + std::strerror(errno));
    }
    // The compositor reads the text with its terminating NUL.
    const size_t size = keymapText_.size() + 1;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, keymapText_.c_str() + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            close(fd);
            throw KeyEventError(std::string("cannot hand over the keymap: ") +
                                std::strerror(error));
        }
        written += static_cast<size_t>(n);
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(size));
    // The request took a copy of the descriptor.
    close(fd);
    std::fill(std::begin(sentModifiers_), std::end(sentModifiers_), 0);
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
}

WaylandVirtualKeyboard::~WaylandVirtualKeyboard() {
    if (keyboard_ != nullptr) zwp_virtual_keyboard_v1_destroy(keyboard_);
    seat_.reset();
    if (manager_ != nullptr) zwp_virtual_keyboard_manager_v1_destroy(manager_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    // The connection goes last, with the last keys handed over.
    connection_.reset();
    xkb_state_unref(state_);
}

void WaylandVirtualKeyboard::press(int key) {
    send(key, true);
}

void WaylandVirtualKeyboard::release(int key) {
    send(key, false);
}

void WaylandVirtualKeyboard::send(int key, bool down) {
    std::lock_guard lock(mutex_);
    const xkb_keymap* keymap = xkb_state_get_keymap(state_);
    // XKB numbers the keys 8 above evdev.
    const xkb_keycode_t keycode = static_cast<xkb_keycode_t>(key) + 8;
    if (key <= 0 || keycode > xkb_keymap_max_keycode(const_cast<xkb_keymap*>(keymap))) {
        throw KeyEventError("the virtual keyboard has no key " + std::to_string(key));
    }
    zwp_virtual_keyboard_v1_key(
        keyboard_, milliseconds(), static_cast<uint32_t>(key),
        down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(state_, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    const uint32_t modifiers[4] = {xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                   xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                   xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                                   xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (!std::equal(std::begin(modifiers), std::end(modifiers), std::begin(sentModifiers_))) {
        zwp_virtual_keyboard_v1_modifiers(keyboard_, modifiers[0], modifiers[1], modifiers[2],
                                          modifiers[3]);
        std::copy(std::begin(modifiers), std::end(modifiers), std::begin(sentModifiers_));
    }
    connection_->flushKey(key);
    connection_->takeEvents();
    connection_->check("sending a key");
}

bool WaylandVirtualKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(mutex_);
    const char* name = led == KeyboardLed::CapsLock ? XKB_LED_NAME_CAPS : XKB_LED_NAME_NUM;
    return xkb_state_led_name_is_active(state_, name) > 0;
}

std::string WaylandVirtualKeyboard::method() const {
    return "the Wayland virtual keyboard";
}

void WaylandVirtualKeyboard::sync() {
    std::lock_guard lock(mutex_);
    connection_->roundtrip("waiting for the keys to be taken");
}

std::unique_ptr<DesktopLayout> WaylandVirtualKeyboard::receiverLayout() const {
    std::lock_guard lock(mutex_);
    return std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(keymapText_));
}

const std::string& WaylandVirtualKeyboard::displayName() const {
    return connection_->name();
}

}  // namespace scalino
