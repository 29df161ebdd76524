#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scalino {

class XkbKeymap;

// The lock keys' state, as the keyboard's lights show it.
struct LockState {
    bool capsLock = false;
    bool numLock = false;
    bool operator==(const LockState&) const = default;
};

// One key pressed with the modifier keys its level needs; every key is an evdev code.
struct KeyChord {
    std::vector<int> modifiers;  // pressed in this order before the key, released after it
    int key = 0;
    // The level needs the other NumLock state: NumLock is tapped before and after the chord.
    bool togglesNumLock = false;
    bool operator==(const KeyChord&) const = default;
};

// Keys a keyboard that hands its keymap to the receiver (the Wayland virtual keyboard) adds to
// it for keysyms the keymap lacks: each such key types its keysym alone, without modifiers and
// whatever the locks, once the keyboard has uploaded the keymap extended with it, which it makes
// sure of before pressing the key.
class SpareKeys {
public:
    virtual ~SpareKeys() = default;
    // The key (an evdev code) that types the keysym; none when every spare key is in use.
    virtual std::optional<int> keyFor(uint32_t keysym) = 0;
};

// How one group of a keymap types characters. For each character: the key and modifiers of the
// lowest shift level that gives it in that group (keys a pc105 keyboard has, the main block
// before the keypad where levels tie); where no key gives it, a dead key followed by the key it
// composes with in the locale's compose table. Modifiers are the keys the keymap itself makes
// Shift, level 3 and level 5 shifts, chosen for the lock state at hand, so that Caps Lock and
// NumLock never change what arrives. Not thread-safe: one user at a time.
class XkbCharacterTable {
public:
    // Keeps its own reference to the keymap. With spareKeys (which must outlive the table), a
    // character the group cannot give that has a keysym (xkb_utf32_to_keysym) is typed on the
    // spare key the keyboard gives its keysym, asked for each time its chords are.
    XkbCharacterTable(const XkbKeymap& keymap, unsigned group, SpareKeys* spareKeys = nullptr);
    ~XkbCharacterTable();
    XkbCharacterTable(const XkbCharacterTable&) = delete;
    XkbCharacterTable& operator=(const XkbCharacterTable&) = delete;

    // The chords that type the character with the locks as given, in order (two for a dead
    // key); null when this group cannot give it. Valid as long as the table.
    const std::vector<KeyChord>* chordsFor(char32_t character, LockState locks) const;
    bool canType(char32_t character) const;
    // The locks whose state changes the chords of a character (true for each such lock): only
    // those lights need be read before typing it.
    LockState locksThatMatter(char32_t character) const;
    // The characters it can type, directly or through a dead key (those of spare keys aside).
    size_t size() const;
    // The group's name in the keymap, such as "German (Switzerland)".
    std::string groupName() const;

private:
    std::optional<std::vector<KeyChord>> findChords(char32_t character, LockState locks) const;
    const std::vector<KeyChord>* spareChords(char32_t character) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scalino
