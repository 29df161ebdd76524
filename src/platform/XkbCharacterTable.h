#pragma once

#include <cstddef>
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

// How one group of a keymap types characters. For each character: the key and modifiers of the
// lowest shift level that gives it in that group (keys a pc105 keyboard has, the main block
// before the keypad where levels tie); where no key gives it, a dead key followed by the key it
// composes with in the locale's compose table. Modifiers are the keys the keymap itself makes
// Shift, level 3 and level 5 shifts, chosen for the lock state at hand, so that Caps Lock and
// NumLock never change what arrives. Not thread-safe: one user at a time.
class XkbCharacterTable {
public:
    // Keeps its own reference to the keymap.
    XkbCharacterTable(const XkbKeymap& keymap, unsigned group);
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
    // The characters it can type, directly or through a dead key.
    size_t size() const;
    // The group's name in the keymap, such as "German (Switzerland)".
    std::string groupName() const;

private:
    std::optional<std::vector<KeyChord>> findChords(char32_t character, LockState locks) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scalino
