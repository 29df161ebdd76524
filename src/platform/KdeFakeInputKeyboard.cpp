#include "platform/KdeFakeInputKeyboard.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>
#include <mutex>

#include "fake-input-client-protocol.h"
#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// keyboard_key came with version 4 (KWin 5.27 offers it); later versions add nothing needed.
constexpr uint32_t kFakeInputVersion = 4;
static_assert(ORG_KDE_KWIN_FAKE_INPUT_KEYBOARD_KEY_SINCE_VERSION == kFakeInputVersion,
              "the fake-input protocol of plasma-wayland-protocols lacks keyboard_key");

// Where the protocol is missing, too old or refused: what the user can do instead.
constexpr const char* kInstead =
    "type with --keyboard portal (the remote-desktop portal, which asks the user once), or with "
    "--keyboard uinput, or with --keyboard x11 into X11 applications on Xwayland";

}  // namespace

// The registry's callbacks, with access to the keyboard they fill in.
struct FakeInputListeners {
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* self = static_cast<KdeFakeInputKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
            self->seat_ = std::make_unique<WaylandSeatKeyboard>(registry, name, version);
        } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
                   self->offeredVersion_ == 0) {
            self->offeredVersion_ = version;
            if (version >= kFakeInputVersion) {
                self->fakeInput_ = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
                    registry, name, &org_kde_kwin_fake_input_interface, kFakeInputVersion));
            }
        }
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}

    static constexpr wl_registry_listener registry{global, globalRemove};
};

struct KdeFakeInputKeyboard::Link {
    std::mutex mutex;
    KdeFakeInputKeyboard* keyboard = nullptr;  // null once the keyboard is gone
};

// The layout of the seat's keymap as the keyboard last took it.
class KdeReceiverLayout : public DesktopLayout {
public:
    // keymapText: the keyboard's now, read under the link's mutex.
    KdeReceiverLayout(std::shared_ptr<KdeFakeInputKeyboard::Link> link, std::string keymapText)
        : link_(std::move(link)),
          keymapText_(std::move(keymapText)),
          layout_(std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(keymapText_))) {}

    const XkbCharacterTable& characters() override {
        std::lock_guard lock(link_->mutex);
        return follow().characters();
    }

    std::string name() override {
        std::lock_guard lock(link_->mutex);
        return follow().name();
    }

private:
    // Takes the keyboard's keymap as it is now; the last one once the keyboard is gone.
    KeymapDesktopLayout& follow() {
        KdeFakeInputKeyboard* keyboard = link_->keyboard;
        if (keyboard == nullptr) return *layout_;
        try {
            keyboard->takeEvents();
            if (keymapText_ != keyboard->keymapText_) {
                keymapText_ = keyboard->keymapText_;
                layout_ = std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(keymapText_));
            }
        } catch (const KeyEventError&) {
            // The keymap KWin sent is unusable: the layout stays as it was, and is not read again.
        }
        return *layout_;
    }

    std::shared_ptr<KdeFakeInputKeyboard::Link> link_;
    std::string keymapText_;  // of layout_
    std::unique_ptr<KeymapDesktopLayout> layout_;
};

KdeFakeInputKeyboard::KdeFakeInputKeyboard() : link_(std::make_shared<Link>()) {
    link_->keyboard = this;
}

std::unique_ptr<KdeFakeInputKeyboard> KdeFakeInputKeyboard::open(
    const std::string& displayName, const std::string& seatlessLayout) {
    std::unique_ptr<KdeFakeInputKeyboard> keyboard(new KdeFakeInputKeyboard());
    keyboard->connect(displayName, seatlessLayout);
    return keyboard;
}

void KdeFakeInputKeyboard::connect(const std::string& displayName,
                                   const std::string& seatlessLayout) {
    connection_ = std::make_unique<WaylandConnection>(displayName, kInstead);
    registry_ = wl_display_get_registry(connection_->display());
    wl_registry_add_listener(registry_, &FakeInputListeners::registry, this);
    connection_->roundtrip("listing its interfaces");
    if (offeredVersion_ == 0) {
        throw KeyEventError(
            std::string("the compositor does not offer KWin's fake input "
                        "(org_kde_kwin_fake_input): it is KWin's, the compositor of KDE Plasma, "
                        "which offers it only to programs whose desktop entry names it in "
                        "X-KDE-Wayland-Interfaces; ") +
            kInstead);
    }
    if (fakeInput_ == nullptr) {
        throw KeyEventError(
            "the compositor offers KWin's fake input (org_kde_kwin_fake_input) "
            "in version " +
            std::to_string(offeredVersion_) + ", without keys: they need version " +
            std::to_string(kFakeInputVersion) + " (KWin 5.27 or later); " + kInstead);
    }
    if (seat_ == nullptr) throw KeyEventError("the Wayland compositor offers no seat to type on");
    // KWin ignores the keys of a client that has not said who it is and why.
    org_kde_kwin_fake_input_authenticate(fakeInput_, kApplication, kReason);
    connection_->roundtrip("asking KWin for fake input");
    seat_->onModifiers(
        [this](uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
            if (state_ != nullptr)
                xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
        });
    seat_->readKeymap([this] { connection_->roundtrip("reading the keymap"); });
    keymapsTaken_ = seat_->keymapsReceived();
    keymapText_ = seat_->keymapText();
    // KWin types with the keymap of its own settings; a seat without a keyboard does not say
    // which that is.
    if (keymapText_.empty()) {
        keymapText_ = XkbKeymap::compile(seatlessLayout.empty() ? "us" : seatlessLayout).text();
    }
    startState();
}

// Starts the lock state afresh for the keymap in hand, keeping the locks.
void KdeFakeInputKeyboard::startState() {
    XkbKeymap keymap = XkbKeymap::fromString(keymapText_);
    xkb_state* state = xkb_state_new(keymap.get());
    if (state == nullptr) throw KeyEventError("cannot start the keyboard's state (out of memory?)");
    if (state_ != nullptr) {
        xkb_state_update_mask(state, 0, 0, xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                              0, 0, 0);
        xkb_state_unref(state_);
    }
    state_ = state;
}

KdeFakeInputKeyboard::~KdeFakeInputKeyboard() {
    std::lock_guard lock(link_->mutex);
    link_->keyboard = nullptr;
    // Version 4 has no destructor request (later ones have): the proxy goes without a word.
    if (fakeInput_ != nullptr) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(fakeInput_));
    seat_.reset();
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    // The connection goes last, with the last keys handed over.
    connection_.reset();
    xkb_state_unref(state_);
}

void KdeFakeInputKeyboard::press(int key) {
    send(key, true);
}

void KdeFakeInputKeyboard::release(int key) {
    send(key, false);
}

void KdeFakeInputKeyboard::send(int key, bool down) {
    std::lock_guard lock(link_->mutex);
    if (key <= 0 || key > KEY_MAX) {
        throw KeyEventError("KWin's fake input has no key " + std::to_string(key));
    }
    // KWin works out the modifiers from the keys itself: there is no request for them.
    org_kde_kwin_fake_input_keyboard_key(
        fakeInput_, static_cast<uint32_t>(key),
        down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    // XKB numbers the keys 8 above evdev.
    xkb_state_update_key(state_, static_cast<xkb_keycode_t>(key) + 8,
                         down ? XKB_KEY_DOWN : XKB_KEY_UP);
    connection_->flushKey(key);
    takeEvents();
    connection_->check("sending a key");
}

// Takes what KWin sent: the seat's modifiers go into the state; a new keymap of the seat
// (settings changed) becomes the one the lights and the layouts are read with.
void KdeFakeInputKeyboard::takeEvents() {
    connection_->takeEvents();
    if (seat_->keymapsReceived() != keymapsTaken_ && !seat_->keymapText().empty()) {
        keymapsTaken_ = seat_->keymapsReceived();
        keymapText_ = seat_->keymapText();
        startState();
    }
}

bool KdeFakeInputKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(link_->mutex);
    takeEvents();
    connection_->check("reading the lights");
    const char* name = led == KeyboardLed::CapsLock ? XKB_LED_NAME_CAPS : XKB_LED_NAME_NUM;
    return xkb_state_led_name_is_active(state_, name) > 0;
}

std::string KdeFakeInputKeyboard::method() const {
    return "KWin's fake input";
}

void KdeFakeInputKeyboard::sync() {
    std::lock_guard lock(link_->mutex);
    connection_->roundtrip("waiting for the keys to be taken");
    takeEvents();
}

std::unique_ptr<DesktopLayout> KdeFakeInputKeyboard::receiverLayout() const {
    std::lock_guard lock(link_->mutex);
    return std::make_unique<KdeReceiverLayout>(link_, keymapText_);
}

const std::string& KdeFakeInputKeyboard::displayName() const {
    return connection_->name();
}

}  // namespace scalino
