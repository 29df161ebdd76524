#include "platform/XkbCharacterTable.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <tuple>
#include <unordered_map>

#include "platform/XkbKeymap.h"
#include "util/Text.h"

namespace scalino {

namespace {

constexpr xkb_keycode_t kEvdevOffset = 8;
// More than any key type has.
constexpr size_t kMostMasksPerLevel = 16;

// Keys a pc105 keyboard has that carry characters: the main block, the key left of Z, the
// keypad, and the extra keys of Brazilian and Japanese keyboards, whose keymaps use them.
bool carriesCharacters(int key) {
    return (key >= KEY_1 && key <= KEY_KPDOT) || key == KEY_102ND || key == KEY_RO ||
           key == KEY_KPSLASH || key == KEY_YEN;
}

bool isKeypad(int key) {
    return key == KEY_KPASTERISK || (key >= KEY_KP7 && key <= KEY_KPDOT) || key == KEY_KPSLASH;
}

bool isTypedCharacter(char32_t c) {
    return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0);
}

bool isDeadKeysym(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_longsolidusoverlay;
}

// What makes one way of typing a character better than another: a lower shift level, no
// NumLock, the main block, fewer modifiers, a lower key.
using Cost = std::tuple<xkb_level_index_t, bool, bool, int, int>;

struct Stroke {
    xkb_keycode_t keycode = 0;
    xkb_keysym_t keysym = XKB_KEY_NoSymbol;
    xkb_mod_mask_t mask = 0;  // the modifiers the key type maps to this level
    Cost cost{};
};

// A character's keys: the key, after a dead key where it composes.
struct Entry {
    Stroke key;
    std::optional<Stroke> deadKey;
};

struct ModifierKey {
    int key;
    xkb_mod_mask_t mask;
};

template <typename Key>
void offer(std::unordered_map<Key, Stroke>& strokes, Key key, const Stroke& stroke) {
    const auto [it, added] = strokes.try_emplace(key, stroke);
    if (!added && stroke.cost < it->second.cost) it->second = stroke;
}

}  // namespace

struct XkbCharacterTable::Impl {
    xkb_keymap* keymap = nullptr;
    xkb_layout_index_t group = 0;
    xkb_state* state = nullptr;  // scratch state for trying modifiers
    std::vector<ModifierKey> modifierKeys;
    xkb_mod_mask_t heldMask = 0;  // every modifier the modifier keys give
    xkb_mod_mask_t capsMask = 0;
    xkb_mod_mask_t numMask = 0;  // zero where no key toggles NumLock
    std::unordered_map<char32_t, Entry> entries;
    mutable std::unordered_map<char32_t, LockState> lockDependence;
    // Chords found before, by character and lock state (bit 0 Caps Lock, bit 1 NumLock).
    mutable std::unordered_map<uint64_t, std::optional<std::vector<KeyChord>>> chordCache;
    SpareKeys* spareKeys = nullptr;
    // The chords last given for characters typed on spare keys.
    mutable std::unordered_map<char32_t, std::vector<KeyChord>> spareChords;

    ~Impl() {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
    }

    xkb_layout_index_t groupOf(xkb_keycode_t keycode) const {
        const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, keycode);
        return groups == 0 || group < groups ? group : group % groups;
    }

    xkb_keysym_t firstLevelKeysym(xkb_keycode_t keycode) const {
        const xkb_keysym_t* syms = nullptr;
        const int count =
            xkb_keymap_key_get_syms_by_level(keymap, keycode, groupOf(keycode), 0, &syms);
        return count == 1 ? syms[0] : XKB_KEY_NoSymbol;
    }

    // The modifiers a key sets while held (or, for a lock key, once tapped).
    xkb_mod_mask_t modifiersOf(xkb_keycode_t keycode, bool lock) const {
        xkb_state* probe = xkb_state_new(keymap);
        if (probe == nullptr) return 0;
        xkb_state_update_mask(probe, 0, 0, 0, 0, 0, group);
        xkb_state_update_key(probe, keycode, XKB_KEY_DOWN);
        if (lock) xkb_state_update_key(probe, keycode, XKB_KEY_UP);
        const xkb_mod_mask_t mask = xkb_state_serialize_mods(
            probe, lock ? XKB_STATE_MODS_LOCKED : XKB_STATE_MODS_DEPRESSED);
        xkb_state_unref(probe);
        return mask;
    }

    void findModifierKeys();
    void addModifierKey(xkb_keycode_t keycode);
    std::optional<xkb_mod_mask_t> levelMask(xkb_keycode_t keycode, xkb_level_index_t level) const;
    void findStrokes(std::unordered_map<char32_t, Stroke>& direct,
                     std::unordered_map<xkb_keysym_t, Stroke>& dead) const;
    void compose(const std::unordered_map<xkb_keysym_t, Stroke>& dead);
    std::optional<KeyChord> chordFor(const Stroke& stroke, LockState locks) const;
    std::optional<KeyChord> chordWith(const Stroke& stroke, xkb_mod_mask_t locked) const;
};

// Shift, level 3 and level 5 shifts, the right Alt key and left Shift first where they are
// such keys; the lock keys' modifiers.
void XkbCharacterTable::Impl::findModifierKeys() {
    for (int key : {KEY_LEFTSHIFT, KEY_RIGHTALT, KEY_RIGHTSHIFT})
        addModifierKey(key + kEvdevOffset);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= last; ++keycode) {
        addModifierKey(keycode);
        const xkb_keysym_t keysym = firstLevelKeysym(keycode);
        if (keysym == XKB_KEY_Num_Lock && numMask == 0) numMask = modifiersOf(keycode, true);
        if (keysym == XKB_KEY_Caps_Lock && capsMask == 0) capsMask = modifiersOf(keycode, true);
    }
    if (capsMask == 0) {
        const xkb_mod_index_t lock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
        if (lock != XKB_MOD_INVALID) capsMask = xkb_mod_mask_t{1} << lock;
    }
}

void XkbCharacterTable::Impl::addModifierKey(xkb_keycode_t keycode) {
    const xkb_keysym_t keysym = firstLevelKeysym(keycode);
    if (keysym != XKB_KEY_Shift_L && keysym != XKB_KEY_Shift_R &&
        keysym != XKB_KEY_ISO_Level3_Shift && keysym != XKB_KEY_ISO_Level5_Shift)
        return;
    const xkb_mod_mask_t mask = modifiersOf(keycode, false);
    if (mask == 0 || (mask & ~heldMask) == 0) return;  // nothing new
    modifierKeys.push_back({static_cast<int>(keycode - kEvdevOffset), mask});
    heldMask |= mask;
}

// The modifiers that reach a level with the modifier keys at hand (NumLock by toggling it, never
// Caps Lock): the fewest, without NumLock where possible. None when no such set reaches it.
std::optional<xkb_mod_mask_t> XkbCharacterTable::Impl::levelMask(xkb_keycode_t keycode,
                                                                 xkb_level_index_t level) const {
    xkb_mod_mask_t masks[kMostMasksPerLevel];
    const size_t count = xkb_keymap_key_get_mods_for_level(keymap, keycode, groupOf(keycode),
                                                           level, masks, kMostMasksPerLevel);
    if (count == 0 && level == 0) return xkb_mod_mask_t{0};
    std::optional<xkb_mod_mask_t> best;
    auto rank = [this](xkb_mod_mask_t mask) {
        return std::pair((mask & numMask) != 0, std::popcount(mask));
    };
    for (size_t i = 0; i < count; ++i) {
        const xkb_mod_mask_t mask = masks[i];
        if ((mask & ~(heldMask | numMask)) != 0 || (mask & capsMask) != 0) continue;
        if (!best || rank(mask) < rank(*best)) best = mask;
    }
    return best;
}

void XkbCharacterTable::Impl::findStrokes(std::unordered_map<char32_t, Stroke>& direct,
                                          std::unordered_map<xkb_keysym_t, Stroke>& dead) const {
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= last; ++keycode) {
        const int key = static_cast<int>(keycode - kEvdevOffset);
        if (!carriesCharacters(key)) continue;
        const xkb_layout_index_t keyGroup = groupOf(keycode);
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, keyGroup);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, keycode, keyGroup, level, &syms) != 1)
                continue;
            const auto mask = levelMask(keycode, level);
            if (!mask) continue;
            const Stroke stroke{keycode, syms[0], *mask,
                                Cost{level, (*mask & numMask) != 0, isKeypad(key),
                                     std::popcount(*mask), key}};
            const char32_t character = xkb_keysym_to_utf32(syms[0]);
            if (isTypedCharacter(character)) {
                offer(direct, character, stroke);
            } else if (isDeadKeysym(syms[0])) {
                offer(dead, syms[0], stroke);
            }
        }
    }
}

// Characters no key gives directly, from a dead key and a key the compose table joins.
void XkbCharacterTable::Impl::compose(const std::unordered_map<xkb_keysym_t, Stroke>& dead) {
    xkb_compose_table* table = localeComposeTable();
    if (table == nullptr || dead.empty()) return;
    xkb_compose_state* state = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
    if (state == nullptr) return;
    std::unordered_map<char32_t, std::pair<Cost, Entry>> composed;
    for (const auto& [deadKeysym, deadStroke] : dead) {
        for (const auto& [character, entry] : entries) {
            xkb_compose_state_reset(state);
            if (xkb_compose_state_feed(state, deadKeysym) != XKB_COMPOSE_FEED_ACCEPTED ||
                xkb_compose_state_get_status(state) != XKB_COMPOSE_COMPOSING)
                break;  // no sequence starts with this dead key
            xkb_compose_state_feed(state, entry.key.keysym);
            if (xkb_compose_state_get_status(state) != XKB_COMPOSE_COMPOSED) continue;
            char text[64];
            xkb_compose_state_get_utf8(state, text, sizeof text);
            const auto result = decodeUtf8(text);
            if (!result || result->size() != 1 || !isTypedCharacter(result->front())) continue;
            const char32_t made = result->front();
            if (entries.contains(made)) continue;
            const Cost cost = std::max(deadStroke.cost, entry.key.cost);
            const auto [it, added] = composed.try_emplace(made, cost, Entry{entry.key, deadStroke});
            if (!added && cost < it->second.first) it->second = {cost, Entry{entry.key, deadStroke}};
        }
    }
    xkb_compose_state_unref(state);
    for (auto& [character, made] : composed)
        entries.emplace(character, made.second);
}

std::optional<KeyChord> XkbCharacterTable::Impl::chordFor(const Stroke& stroke,
                                                          LockState locks) const {
    const xkb_mod_mask_t locked =
        (locks.capsLock ? capsMask : 0) | (locks.numLock ? numMask : 0);
    if (auto chord = chordWith(stroke, locked)) return chord;
    if (numMask == 0) return std::nullopt;
    auto chord = chordWith(stroke, locked ^ numMask);
    if (chord) chord->togglesNumLock = true;
    return chord;
}

// The modifier keys that give the stroke's keysym with these locked modifiers: the set that
// makes the level's own modifiers first, then the smallest sets.
std::optional<KeyChord> XkbCharacterTable::Impl::chordWith(const Stroke& stroke,
                                                           xkb_mod_mask_t locked) const {
    const unsigned sets = 1u << modifierKeys.size();
    std::vector<std::pair<std::pair<bool, int>, unsigned>> order;
    for (unsigned set = 0; set < sets; ++set) {
        xkb_mod_mask_t held = 0;
        for (size_t i = 0; i < modifierKeys.size(); ++i)
            if ((set >> i) & 1u) held |= modifierKeys[i].mask;
        order.push_back({{held != stroke.mask, std::popcount(set)}, set});
    }
    std::ranges::sort(order);
    for (const auto& [rank, set] : order) {
        KeyChord chord;
        xkb_mod_mask_t held = 0;
        for (size_t i = 0; i < modifierKeys.size(); ++i) {
            if (((set >> i) & 1u) == 0) continue;
            held |= modifierKeys[i].mask;
            chord.modifiers.push_back(modifierKeys[i].key);
        }
        xkb_state_update_mask(state, held, 0, locked, 0, 0, group);
        if (xkb_state_key_get_one_sym(state, stroke.keycode) != stroke.keysym) continue;
        chord.key = static_cast<int>(stroke.keycode - kEvdevOffset);
        return chord;
    }
    return std::nullopt;
}

XkbCharacterTable::XkbCharacterTable(const XkbKeymap& keymap, unsigned group,
                                     SpareKeys* spareKeys)
    : impl_(std::make_unique<Impl>()) {
    impl_->spareKeys = spareKeys;
    impl_->keymap = xkb_keymap_ref(keymap.get());
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(impl_->keymap);
    impl_->group = group < groups ? group : 0;
    impl_->state = xkb_state_new(impl_->keymap);
    if (impl_->state == nullptr) throw std::bad_alloc();
    impl_->findModifierKeys();
    std::unordered_map<char32_t, Stroke> direct;
    std::unordered_map<xkb_keysym_t, Stroke> dead;
    impl_->findStrokes(direct, dead);
    for (const auto& [character, stroke] : direct)
        impl_->entries.emplace(character, Entry{stroke, std::nullopt});
    impl_->compose(dead);
}

XkbCharacterTable::~XkbCharacterTable() = default;

const std::vector<KeyChord>* XkbCharacterTable::chordsFor(char32_t character,
                                                          LockState locks) const {
    // Only characters of the table are kept, so any text leaves the cache as small as the table.
    if (!impl_->entries.contains(character)) return spareChords(character);
    const uint64_t key = (uint64_t{character} << 2) | (locks.capsLock ? 1u : 0u) |
                         (locks.numLock ? 2u : 0u);
    auto cached = impl_->chordCache.find(key);
    if (cached == impl_->chordCache.end())
        cached = impl_->chordCache.emplace(key, findChords(character, locks)).first;
    return cached->second ? &*cached->second : nullptr;
}

std::optional<std::vector<KeyChord>> XkbCharacterTable::findChords(char32_t character,
                                                                   LockState locks) const {
    const auto found = impl_->entries.find(character);
    if (found == impl_->entries.end()) return std::nullopt;
    std::vector<KeyChord> chords;
    for (const auto& stroke : {found->second.deadKey, std::optional(found->second.key)}) {
        if (!stroke) continue;
        auto chord = impl_->chordFor(*stroke, locks);
        if (!chord) return std::nullopt;
        chords.push_back(std::move(*chord));
    }
    return chords;
}

// The keyboard may hand the keysym another key by now (it reuses them): asked every time.
const std::vector<KeyChord>* XkbCharacterTable::spareChords(char32_t character) const {
    if (impl_->spareKeys == nullptr || !isTypedCharacter(character)) return nullptr;
    const xkb_keysym_t keysym = xkb_utf32_to_keysym(character);
    if (keysym == XKB_KEY_NoSymbol) return nullptr;
    const auto key = impl_->spareKeys->keyFor(keysym);
    if (!key) return nullptr;
    auto& chords = impl_->spareChords[character];
    chords = {KeyChord{{}, *key, false}};
    return &chords;
}

bool XkbCharacterTable::canType(char32_t character) const {
    return impl_->entries.contains(character) ||
           (impl_->spareKeys != nullptr && isTypedCharacter(character) &&
            xkb_utf32_to_keysym(character) != XKB_KEY_NoSymbol);
}

LockState XkbCharacterTable::locksThatMatter(char32_t character) const {
    if (!impl_->entries.contains(character)) return {};
    const auto known = impl_->lockDependence.find(character);
    if (known != impl_->lockDependence.end()) return known->second;
    const auto differs = [this, character, unlocked = chordsFor(character, {})](LockState locks) {
        const auto* chords = chordsFor(character, locks);
        return (chords == nullptr) != (unlocked == nullptr) ||
               (chords != nullptr && *chords != *unlocked);
    };
    const LockState matters{differs({true, false}), differs({false, true})};
    impl_->lockDependence.emplace(character, matters);
    return matters;
}

size_t XkbCharacterTable::size() const {
    return impl_->entries.size();
}

std::string XkbCharacterTable::groupName() const {
    const char* name = xkb_keymap_layout_get_name(impl_->keymap, impl_->group);
    return name == nullptr ? "" : name;
}

}  // namespace scalino
