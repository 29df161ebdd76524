#include "platform/WaylandVirtualKeyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/SwayGroupWatch.h"
#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// What Sway, where it runs, answers its IPC within.
constexpr int kSwayAnswerTimeoutMs = 1000;

// The key events' time: milliseconds on a clock of our own, as the protocol asks of one
// keyboard's events.
uint32_t milliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The keycodes Xwayland and X11 applications take, evdev's 1 to 247; at most this many of them
// spare keys, which bounds the extended keymap's size.
constexpr int kLastSpareKeycode = 255;
constexpr size_t kMostSpareKeys = 64;
constexpr uint32_t kEvdevOffset = 8;
// The seat's keymaps taken for no change of the user's, remembered so as not to read them again.
constexpr size_t kMostKnownKeymaps = 8;

// The keymap as libxkbcommon writes it out, whatever the text it was read from: the same for
// the text we upload and the text the compositor sends back for it. "" for no keymap.
std::string canonicalKeymap(const std::string& text) {
    try {
        return XkbKeymap::fromString(text).text();
    } catch (const KeyEventError&) {
        return "";
    }
}

// Where a section of a keymap's text ends ("xkb_symbols"): at its closing "};" line.
size_t sectionEnd(const std::string& text, const char* section) {
    const size_t start = text.find(section);
    if (start == std::string::npos) return std::string::npos;
    return text.find("\n};", start);
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

struct WaylandVirtualKeyboard::Link {
    std::mutex mutex;
    WaylandVirtualKeyboard* keyboard = nullptr;  // null once the keyboard is gone
};

// The layout of a virtual keyboard: the user's keymap and group as the keyboard last took them
// from the seat, with the keyboard's spare keys for the characters the keymap lacks.
class WaylandReceiverLayout : public DesktopLayout, private SpareKeys {
public:
    explicit WaylandReceiverLayout(std::shared_ptr<WaylandVirtualKeyboard::Link> link)
        : link_(std::move(link)) {}

    const XkbCharacterTable& characters() override {
        std::lock_guard lock(link_->mutex);
        follow();
        if (!table_ || tableGeneration_ != generation_) {
            table_.reset();
            tableKeymap_ = XkbKeymap::fromString(keymap_);
            table_ = std::make_unique<XkbCharacterTable>(tableKeymap_, group_,
                                                         static_cast<SpareKeys*>(this));
            tableGeneration_ = generation_;
        }
        return *table_;
    }

    std::string name() override {
        std::lock_guard lock(link_->mutex);
        follow();
        if (nameGeneration_ != generation_ || !nameGeneration_) {
            name_ = XkbKeymap::fromString(keymap_).layoutName(group_);
            nameGeneration_ = generation_;
        }
        return name_;
    }

private:
    // Takes the keyboard's keymap and group as they are now; the last ones once it is gone.
    void follow() {
        WaylandVirtualKeyboard* keyboard = link_->keyboard;
        if (keyboard == nullptr) return;
        try {
            keyboard->followSeat();
        } catch (const KeyEventError&) {
            // The connection is gone or the keymap unusable: the keys sent say so, and until
            // then the layout stays as it was.
        }
        if (keyboard->generation_ + 1 == generation_) return;
        keymap_ = keyboard->userKeymap_;
        group_ = keyboard->userGroup_;
        generation_ = keyboard->generation_ + 1;
    }

    std::optional<int> keyFor(uint32_t keysym) override {
        std::lock_guard lock(link_->mutex);
        if (link_->keyboard == nullptr || link_->keyboard->generation_ + 1 != generation_)
            return std::nullopt;
        return link_->keyboard->spareKeyFor(keysym);
    }

    std::shared_ptr<WaylandVirtualKeyboard::Link> link_;
    std::string keymap_;
    unsigned group_ = 0;
    uint64_t generation_ = 0;  // the keyboard's, plus one; 0 for none yet
    XkbKeymap tableKeymap_{nullptr};
    std::unique_ptr<XkbCharacterTable> table_;
    uint64_t tableGeneration_ = 0;
    std::string name_;
    uint64_t nameGeneration_ = 0;
};

// Defined here, where Link and SwayGroupWatch are complete.
WaylandVirtualKeyboard::WaylandVirtualKeyboard() : link_(std::make_shared<Link>()) {
    link_->keyboard = this;
}

std::unique_ptr<WaylandVirtualKeyboard> WaylandVirtualKeyboard::open(
    const std::string& displayName, const std::string& seatlessLayout) {
    std::unique_ptr<WaylandVirtualKeyboard> keyboard(new WaylandVirtualKeyboard());
    keyboard->connect(displayName, seatlessLayout);
    return keyboard;
}

void WaylandVirtualKeyboard::connect(const std::string& displayName,
                                     const std::string& seatlessLayout) {
    std::lock_guard lock(link_->mutex);
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
    // Where the compositor tells us (a focused client), the group the user's keyboard is in.
    seat_->onModifiers(
        [this](uint32_t, uint32_t, uint32_t, uint32_t group) { seatGroup_ = group; });
    // The seat says what it has once bound.
    connection_->roundtrip("asking for the seat");
    readSeatKeymap();
    userKeymap_ = seat_->keymapText();
    const bool seatHadKeyboard = !userKeymap_.empty();
    // A seat without a keyboard gets ours, with the layout asked for; a compositor that gives
    // new keyboards the keymap of its own settings hands that round, read below.
    if (!seatHadKeyboard) {
        userKeymap_ = XkbKeymap::compile(seatlessLayout.empty() ? "us" : seatlessLayout).text();
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_->seat());
    uploadKeymap(userKeymap_, false);
    connection_->roundtrip("creating the virtual keyboard");
    if (!seatHadKeyboard) {
        connection_->roundtrip("asking for the seat");
        readSeatKeymap();
        if (!seat_->keymapText().empty() && seat_->keymapText() != userKeymap_) {
            userKeymap_ = seat_->keymapText();
            uploadKeymap(userKeymap_, false);
            connection_->roundtrip("handing over the keymap");
        }
    }
    // What the seat sends from now on is looked at when a layout asks (followSeat); what it sent
    // so far is the user's keymap or ours for it.
    keymapsTaken_ = seat_->keymapsReceived();
    knownKeymaps_ = {userKeymap_};
    ownCanonicalKeymaps_ = {canonicalKeymap(userKeymap_)};
    findSpareKeys();
    // The group, where the compositor reports it, is taken with the first text.
    swayGroups_ = SwayGroupWatch::open();
    if (swayGroups_) {
        if (auto group = swayGroups_->take(kSwayAnswerTimeoutMs)) seatGroup_ = group;
    }
}

// The keymap of the seat's keyboard, as the compositor hands it to every application; none
// where the seat has no keyboard.
void WaylandVirtualKeyboard::readSeatKeymap() {
    seat_->readKeymap([this] { connection_->roundtrip("reading the keymap"); });
}

// Makes a keymap the virtual keyboard's. Its state starts afresh, or with keepLocks keeps the
// locked modifiers, the group and the keys held (for the user's keymap extended, whose
// modifiers are the same).
void WaylandVirtualKeyboard::uploadKeymap(const std::string& text, bool keepLocks) {
    XkbKeymap keymap = XkbKeymap::fromString(text);
    xkb_state* state = xkb_state_new(keymap.get());
    if (state == nullptr) throw KeyEventError("cannot start the keyboard's state (out of memory?)");
    if (keepLocks) {
        xkb_state_update_mask(state, 0, 0, sentModifiers_[2], 0, 0, sentModifiers_[3]);
        for (int key : down_)
            xkb_state_update_key(state, static_cast<xkb_keycode_t>(key) + kEvdevOffset,
                                 XKB_KEY_DOWN);
    } else {
        xkb_state_update_mask(state, 0, 0, 0, 0, 0, userGroup_);
    }
    const int fd = memfd_create("scalino-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        xkb_state_unref(state);
        throw KeyEventError(std::string("cannot hand over the keymap: ") + std::strerror(errno));
    }
    // The compositor reads the text with its terminating NUL.
    const size_t size = text.size() + 1;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, text.c_str() + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            close(fd);
            xkb_state_unref(state);
            throw KeyEventError(std::string("cannot hand over the keymap: ") +
                                std::strerror(error));
        }
        written += static_cast<size_t>(n);
    }
    xkb_state_unref(state_);
    state_ = state;
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(size));
    // The request took a copy of the descriptor.
    close(fd);
    // The compositor starts the keyboard's state afresh with a keymap: all of it is sent.
    std::fill(std::begin(sentModifiers_), std::end(sentModifiers_), ~uint32_t{0});
    sendModifiers();
}

// The modifiers of our state, where they differ from those sent last.
void WaylandVirtualKeyboard::sendModifiers() {
    const uint32_t modifiers[4] = {xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                   xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                   xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                                   xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (std::equal(std::begin(modifiers), std::end(modifiers), std::begin(sentModifiers_))) return;
    zwp_virtual_keyboard_v1_modifiers(keyboard_, modifiers[0], modifiers[1], modifiers[2],
                                      modifiers[3]);
    std::copy(std::begin(modifiers), std::end(modifiers), std::begin(sentModifiers_));
}

WaylandVirtualKeyboard::~WaylandVirtualKeyboard() {
    std::lock_guard lock(link_->mutex);
    link_->keyboard = nullptr;
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
    std::lock_guard lock(link_->mutex);
    // XKB numbers the keys 8 above evdev.
    const xkb_keycode_t keycode = static_cast<xkb_keycode_t>(key) + kEvdevOffset;
    if (key <= 0 || keycode > xkb_keymap_max_keycode(xkb_state_get_keymap(state_))) {
        throw KeyEventError("the virtual keyboard has no key " + std::to_string(key));
    }
    const bool spare = std::ranges::find(spareKeys_, key) != spareKeys_.end();
    // A spare key types its keysym only with the keymap extended for it.
    if (down && spare && uploadedVersion_ != spareVersion_) {
        const std::string extended = extendedKeymap();
        uploadKeymap(extended, true);
        uploadedVersion_ = spareVersion_;
        // The compositor hands it round as the seat's keymap while this keyboard types.
        ownCanonicalKeymaps_.push_back(canonicalKeymap(extended));
        if (ownCanonicalKeymaps_.size() > kMostKnownKeymaps)
            ownCanonicalKeymaps_.erase(ownCanonicalKeymaps_.begin() + 1);
    }
    zwp_virtual_keyboard_v1_key(
        keyboard_, milliseconds(), static_cast<uint32_t>(key),
        down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(state_, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    if (down) {
        down_.push_back(key);
    } else if (const auto it = std::ranges::find(down_, key); it != down_.end()) {
        down_.erase(it);
    }
    sendModifiers();
    // Once every key is up the user's keymap is the keyboard's again.
    if (down_.empty() && uploadedVersion_ != 0) {
        uploadKeymap(userKeymap_, true);
        uploadedVersion_ = 0;
    }
    connection_->flushKey(key);
    connection_->takeEvents();
    connection_->check("sending a key");
}

bool WaylandVirtualKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(link_->mutex);
    const char* name = led == KeyboardLed::CapsLock ? XKB_LED_NAME_CAPS : XKB_LED_NAME_NUM;
    return xkb_state_led_name_is_active(state_, name) > 0;
}

std::string WaylandVirtualKeyboard::method() const {
    return "the Wayland virtual keyboard";
}

void WaylandVirtualKeyboard::sync() {
    std::lock_guard lock(link_->mutex);
    connection_->roundtrip("waiting for the keys to be taken");
}

std::unique_ptr<DesktopLayout> WaylandVirtualKeyboard::receiverLayout() const {
    return std::make_unique<WaylandReceiverLayout>(link_);
}

const std::string& WaylandVirtualKeyboard::displayName() const {
    return connection_->name();
}

std::string WaylandVirtualKeyboard::userKeymap() const {
    std::lock_guard lock(link_->mutex);
    return userKeymap_;
}

unsigned WaylandVirtualKeyboard::userGroup() const {
    std::lock_guard lock(link_->mutex);
    return userGroup_;
}

// Takes what the seat sent since, without waiting: a keymap that is neither the user's nor one
// of ours (the compositor hands round the keymap of whichever keyboard typed last) is the user's
// new one, and a group the user's. Only between keys: keys held keep the keymap they went
// down with.
void WaylandVirtualKeyboard::followSeat() {
    if (connection_ == nullptr) return;
    connection_->takeEvents();
    connection_->check("reading the seat's keymap");
    if (swayGroups_) {
        if (auto group = swayGroups_->take()) seatGroup_ = group;
    }
    if (!down_.empty()) return;
    if (seat_->keymapsReceived() != keymapsTaken_) {
        keymapsTaken_ = seat_->keymapsReceived();
        if (!isUsersKeymap(seat_->keymapText())) takeUserKeymap(seat_->keymapText());
    }
    if (seatGroup_) {
        const unsigned group = *seatGroup_;
        seatGroup_.reset();
        if (group != userGroup_) {
            userGroup_ = group;
            ++generation_;
            xkb_state_update_mask(state_, 0, 0, sentModifiers_[2], 0, 0, group);
            sendModifiers();
            connection_->flushKey(0);
        }
    }
}

// Whether a keymap the seat sent is the user's as we have it, or one we uploaded.
bool WaylandVirtualKeyboard::isUsersKeymap(const std::string& text) {
    if (std::ranges::find(knownKeymaps_, text) != knownKeymaps_.end()) return true;
    const std::string canonical = canonicalKeymap(text);
    if (canonical.empty()) return true;  // nothing to follow
    if (std::ranges::find(ownCanonicalKeymaps_, canonical) == ownCanonicalKeymaps_.end())
        return false;
    if (knownKeymaps_.size() >= kMostKnownKeymaps) knownKeymaps_.erase(knownKeymaps_.begin() + 1);
    knownKeymaps_.push_back(text);
    return true;
}

// The user's keymap changed: it becomes the keyboard's, with its state afresh.
void WaylandVirtualKeyboard::takeUserKeymap(std::string text) {
    userKeymap_ = std::move(text);
    ++generation_;
    uploadKeymap(userKeymap_, false);
    uploadedVersion_ = 0;
    connection_->flushKey(0);
    knownKeymaps_ = {userKeymap_};
    ownCanonicalKeymaps_ = {canonicalKeymap(userKeymap_)};
    findSpareKeys();
}

// The keycodes from 9 to 255 that the user's keymap gives no keysym, the first kMostSpareKeys
// of them; none where its text cannot be extended.
void WaylandVirtualKeyboard::findSpareKeys() {
    spareKeys_.clear();
    spareKeyNames_.clear();
    spareKeysyms_.clear();
    ++spareVersion_;
    if (sectionEnd(userKeymap_, "xkb_keycodes") == std::string::npos ||
        sectionEnd(userKeymap_, "xkb_symbols") == std::string::npos)
        return;
    xkb_keymap* keymap = xkb_state_get_keymap(state_);
    const xkb_keycode_t last =
        std::min<xkb_keycode_t>(kLastSpareKeycode, xkb_keymap_max_keycode(keymap));
    for (xkb_keycode_t keycode =
             std::max<xkb_keycode_t>(kEvdevOffset + 1, xkb_keymap_min_keycode(keymap));
         keycode <= last && spareKeys_.size() < kMostSpareKeys; ++keycode) {
        if (xkb_keymap_num_layouts_for_key(keymap, keycode) != 0) continue;
        spareKeys_.push_back(static_cast<int>(keycode - kEvdevOffset));
        const char* name = xkb_keymap_key_get_name(keymap, keycode);
        spareKeyNames_.emplace_back(name != nullptr ? name : "");
    }
}

// The spare key that types a keysym: the one it has, or the next one free. Once all are taken
// those not held are given anew.
std::optional<int> WaylandVirtualKeyboard::spareKeyFor(uint32_t keysym) {
    for (const auto& [key, given] : spareKeysyms_)
        if (given == keysym) return key;
    if (spareKeysyms_.size() == spareKeys_.size()) {
        std::erase_if(spareKeysyms_, [this](const auto& given) {
            return std::ranges::find(down_, given.first) == down_.end();
        });
    }
    for (int key : spareKeys_) {
        if (std::ranges::find(spareKeysyms_, key, &std::pair<int, uint32_t>::first) !=
            spareKeysyms_.end())
            continue;
        spareKeysyms_.emplace_back(key, keysym);
        ++spareVersion_;
        return key;
    }
    return std::nullopt;
}

// The user's keymap with the spare keys given: a name in xkb_keycodes where the keycode has
// none, and the keysym on both levels of a key that Caps Lock leaves as it is.
std::string WaylandVirtualKeyboard::extendedKeymap() const {
    const bool alphabetic = userKeymap_.find("type \"ALPHABETIC\"") != std::string::npos;
    std::string names, symbols;
    for (const auto& [key, keysym] : spareKeysyms_) {
        const xkb_keycode_t keycode = static_cast<xkb_keycode_t>(key) + kEvdevOffset;
        const auto spare = std::ranges::find(spareKeys_, key) - spareKeys_.begin();
        std::string name = spareKeyNames_[static_cast<size_t>(spare)];
        if (name.empty()) {
            // Four characters, as X11 takes key names.
            name = "S" + std::to_string(keycode);
            names += "\n\t<" + name + "> = " + std::to_string(keycode) + ";";
        }
        char symbol[64];
        if (xkb_keysym_get_name(keysym, symbol, sizeof symbol) <= 0) continue;
        symbols += "\n\tkey <" + name + "> { " + (alphabetic ? "type= \"ALPHABETIC\", " : "") +
                   "[ " + symbol + (alphabetic ? std::string(", ") + symbol : "") + " ] };";
    }
    std::string text = userKeymap_;
    text.insert(sectionEnd(text, "xkb_symbols"), symbols);
    text.insert(sectionEnd(text, "xkb_keycodes"), names);
    return text;
}

}  // namespace scalino
