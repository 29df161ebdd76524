#include "platform/WaylandSeatKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// wl_seat 5 has the release request; later versions add nothing needed here.
constexpr uint32_t kSeatVersion = 5;

}  // namespace

// The seat's and its keyboard's callbacks, with access to the object they fill in.
struct SeatListeners {
    static void capabilities(void* data, wl_seat*, uint32_t capabilities) {
        auto* self = static_cast<WaylandSeatKeyboard*>(data);
        self->capabilities_ = capabilities;
        self->capabilitiesKnown_ = true;
    }
    static void seatName(void*, wl_seat*, const char*) {}

    static void keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* self = static_cast<WaylandSeatKeyboard*>(data);
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
            ++self->keymapsReceived_;
            munmap(text, size);
        }
        close(fd);
    }
    static void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
    static void leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                          uint32_t locked, uint32_t group) {
        auto* self = static_cast<WaylandSeatKeyboard*>(data);
        if (self->modifiersHandler_) self->modifiersHandler_(depressed, latched, locked, group);
    }
    static void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

    static constexpr wl_seat_listener seat{capabilities, seatName};
    static constexpr wl_keyboard_listener keyboard{keymap, enter,     leave,
                                                   key,    modifiers, repeatInfo};
};

WaylandSeatKeyboard::WaylandSeatKeyboard(wl_registry* registry, uint32_t name, uint32_t version)
    : seat_(static_cast<wl_seat*>(
          wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, kSeatVersion)))) {
    wl_seat_add_listener(seat_, &SeatListeners::seat, this);
}

WaylandSeatKeyboard::~WaylandSeatKeyboard() {
    if (keyboard_ != nullptr) wl_keyboard_destroy(keyboard_);
    wl_seat_destroy(seat_);
}

void WaylandSeatKeyboard::readKeymap(const std::function<void()>& roundtrip) {
    if (!capabilitiesKnown_) roundtrip();
    if ((capabilities_ & WL_SEAT_CAPABILITY_KEYBOARD) == 0) return;
    if (keyboard_ == nullptr) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &SeatListeners::keyboard, this);
    }
    for (int attempt = 0; attempt < 3 && keymapText_.empty() && keymapFailure_.empty(); ++attempt)
        roundtrip();
    if (!keymapFailure_.empty()) throw KeyEventError(keymapFailure_);
}

}  // namespace scalino
