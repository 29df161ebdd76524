#include "platform/WaylandVirtualKeyboard.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// wl_seat 5 has the release request; later versions add nothing needed here.
constexpr uint32_t kSeatVersion = 5;
// What a compositor that answers at all answers within.
constexpr int kFlushTimeoutMs = 5000;

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

// The protocol's callbacks, with access to the keyboard they fill in.
struct WaylandListeners {
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* self = static_cast<WaylandVirtualKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
            // The first seat is the user's; desktops have one.
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface,
                                                                 std::min(version, kSeatVersion)));
            wl_seat_add_listener(self->seat_, &seat, self);
        } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
                   self->manager_ == nullptr) {
            self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        }
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}

    static void capabilities(void* data, wl_seat*, uint32_t capabilities) {
        auto* self = static_cast<WaylandVirtualKeyboard*>(data);
        self->seatCapabilities_ = capabilities;
        self->capabilitiesKnown_ = true;
    }
    static void seatName(void*, wl_seat*, const char*) {}

    static void keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* self = static_cast<WaylandVirtualKeyboard*>(data);
        if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            self->keymapFailure_ = "the compositor's keymap is not an XKB one";
        } else if (void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
                   text == MAP_FAILED) {
            self->keymapFailure_ =
                std::string("the compositor's keymap cannot be read: ") + std::strerror(errno);
        } else {
            const char* begin = static_cast<const char*>(text);
            self->keymapText_.assign(begin, strnlen(begin, size));
            self->keymapFailure_.clear();
            munmap(text, size);
        }
        close(fd);
    }
    static void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
    static void leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

    static constexpr wl_registry_listener registry{global, globalRemove};
    static constexpr wl_seat_listener seat{capabilities, seatName};
    static constexpr wl_keyboard_listener keyboard{keymap, enter,     leave,
                                                   key,    modifiers, repeatInfo};
};

std::unique_ptr<WaylandVirtualKeyboard> WaylandVirtualKeyboard::open(
    const std::string& displayName, const std::string& seatlessLayout) {
    std::unique_ptr<WaylandVirtualKeyboard> keyboard(new WaylandVirtualKeyboard());
    keyboard->connect(displayName, seatlessLayout);
    return keyboard;
}

void WaylandVirtualKeyboard::connect(const std::string& displayName,
                                     const std::string& seatlessLayout) {
    displayName_ = displayName;
    if (displayName_.empty()) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        if (name == nullptr || *name == '\0') {
            throw KeyEventError("this is no Wayland session: WAYLAND_DISPLAY is not set");
        }
        displayName_ = name;
    }
    display_ = wl_display_connect(displayName_.c_str());
    if (display_ == nullptr) {
        throw KeyEventError("no Wayland compositor answers on " + displayName_ + ": " +
                            std::strerror(errno));
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &WaylandListeners::registry, this);
    roundtrip("listing its interfaces");
    if (manager_ == nullptr) {
        throw KeyEventError(
            std::string("the compositor does not offer the virtual-keyboard protocol "
                        "(zwp_virtual_keyboard_manager_v1); ") +
            kInstead);
    }
    if (seat_ == nullptr) throw KeyEventError("the Wayland compositor offers no seat to type on");
    // The seat says what it has once bound.
    roundtrip("asking for the seat");
    readSeatKeymap();
    const bool seatHadKeyboard = !keymapText_.empty();
    // A seat without a keyboard gets ours, with the layout asked for; a compositor that gives
    // new keyboards the keymap of its own settings hands that round, read below.
    if (!seatHadKeyboard) {
        keymapText_ = XkbKeymap::compile(seatlessLayout.empty() ? "us" : seatlessLayout).text();
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
    uploadKeymap();
    roundtrip("creating the virtual keyboard");
    if (!seatHadKeyboard) {
        const std::string uploaded = keymapText_;
        keymapText_.clear();
        roundtrip("asking for the seat");
        readSeatKeymap();
        if (keymapText_.empty()) {
            keymapText_ = uploaded;
        } else if (keymapText_ != uploaded) {
            uploadKeymap();
            roundtrip("handing over the keymap");
        }
    }
}

// The keymap of the seat's keyboard, as the compositor hands it to every application; none
// where the seat has no keyboard.
void WaylandVirtualKeyboard::readSeatKeymap() {
    if (!capabilitiesKnown_ || (seatCapabilities_ & WL_SEAT_CAPABILITY_KEYBOARD) == 0) return;
    if (seatKeyboard_ == nullptr) {
        seatKeyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(seatKeyboard_, &WaylandListeners::keyboard, this);
    }
    // The keymap is the first event of a new keyboard.
    for (int attempt = 0; attempt < 3 && keymapText_.empty(); ++attempt)
        roundtrip("reading the keymap");
    if (!keymapFailure_.empty()) throw KeyEventError(keymapFailure_);
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
    if (display_ == nullptr) return;
    if (keyboard_ != nullptr) zwp_virtual_keyboard_v1_destroy(keyboard_);
    if (seatKeyboard_ != nullptr) wl_keyboard_destroy(seatKeyboard_);
    if (manager_ != nullptr) zwp_virtual_keyboard_manager_v1_destroy(manager_);
    if (seat_ != nullptr) wl_seat_destroy(seat_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    // The last keys reach the compositor before the keyboard goes.
    wl_display_roundtrip(display_);
    wl_display_disconnect(display_);
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
    // Sent now, in the order made: the next key may be a while coming.
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) {
            const int error = errno;
            checkConnection("sending a key");
            throw KeyEventError("cannot send key " + std::to_string(key) +
                                " to the Wayland compositor on " + displayName_ + ": " +
                                std::strerror(error));
        }
        pollfd writable{wl_display_get_fd(display_), POLLOUT, 0};
        if (poll(&writable, 1, kFlushTimeoutMs) == 0) {
            throw KeyEventError("the Wayland compositor on " + displayName_ +
                                " takes no more keys");
        }
    }
    takeEvents();
    checkConnection("sending a key");
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
    roundtrip("waiting for the keys to be taken");
}

std::unique_ptr<DesktopLayout> WaylandVirtualKeyboard::receiverLayout() const {
    std::lock_guard lock(mutex_);
    return std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(keymapText_));
}

// Handles what the compositor sent without waiting for more, so that its messages (a keymap
// handed round again) do not pile up unread.
void WaylandVirtualKeyboard::takeEvents() {
    while (wl_display_prepare_read(display_) != 0)
        wl_display_dispatch_pending(display_);
    pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&readable, 1, 0) > 0) {
        wl_display_read_events(display_);
    } else {
        wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
}

void WaylandVirtualKeyboard::roundtrip(const char* doing) {
    if (wl_display_roundtrip(display_) < 0) checkConnection(doing);
    checkConnection(doing);
}

void WaylandVirtualKeyboard::checkConnection(const char* doing) {
    const int error = wl_display_get_error(display_);
    if (error == 0) return;
    std::string reason = std::strerror(error);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        reason = "it refused a request (error " + std::to_string(code) + " of " +
                 (interface != nullptr ? interface->name : "the connection") + "); " + kInstead;
    }
    throw KeyEventError("the Wayland compositor on " + displayName_ +
                        " ended the connection while " + doing + ": " + reason);
}

}  // namespace scalino
