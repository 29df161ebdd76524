#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "config/ConfigHelper.h"

namespace scalino {

// A physical key at a shift level, as a Linux layout types it.
struct KeyStroke {
    int key = 0;         // evdev code
    bool shift = false;  // levels 2 and 4
    bool altGr = false;  // levels 3 and 4, through the right Alt key
    bool dead = false;   // a dead key: its own character needs a Space after it
    bool operator==(const KeyStroke&) const = default;
};

// One keyboard layout as the key maps see it and as Linux (XKB, pc105 model) has it: which
// physical key each virtual key code names, which of the key maps' keys are dead keys, and how
// the Linux layout types each printable ASCII character.
class KeyLayout {
public:
    // The layout a keyboard type stands for: us, us(intl), fr or de. The desktop's layout has
    // none (std::invalid_argument).
    static const KeyLayout& of(ConfigHelper::KeyboardType type);

    // The XKB layout and variant ("us" and "intl", "fr" and "").
    std::string_view xkbLayout() const { return xkbLayout_; }
    std::string_view xkbVariant() const { return xkbVariant_; }
    // "us", "us(intl)", "fr", "de": for messages.
    std::string name() const;

    // The evdev code of the key a virtual key code names, or none where the layout has no such
    // key. Shift, Ctrl and Alt are modifiers of the key maps and have none.
    std::optional<int> physicalKey(int virtualKey) const;

    // For a key the key maps treat as a dead key at the given level: the character that key
    // followed by Space stands for. None for every other key.
    std::optional<char32_t> deadKeyCharacter(int virtualKey, bool shift, bool altGr) const;

    // How the Linux layout types a printable ASCII character: a key that types it directly when
    // there is one, else a dead key (to be followed by Space). None where the layout lacks it.
    std::optional<KeyStroke> strokeFor(char32_t character) const;
    // True when the key at the stroke's level types the character without being dead.
    bool typesDirectly(const KeyStroke& stroke, char32_t character) const;

    // One key's levels 1 to 4 as printable ASCII, ' ' where a level has none (or a character
    // outside ASCII); dead marks the levels that are dead keys with 'd'.
    struct KeyRow {
        int key;
        std::string_view levels;
        std::string_view dead = {};
    };
    struct DeadKey {
        int virtualKey;
        bool shift;
        bool altGr;
        char32_t character;
    };
    struct Description {
        std::string_view xkbLayout;
        std::string_view xkbVariant;
        std::vector<std::pair<int, int>> keys;  // virtual key code, evdev code
        std::vector<KeyRow> rows;
        std::vector<DeadKey> deadKeys;
    };
    explicit KeyLayout(const Description& description);

private:
    void addStroke(char32_t character, KeyStroke stroke);

    std::string xkbLayout_;
    std::string xkbVariant_;
    std::map<int, int> physical_;
    std::vector<DeadKey> deadKeys_;
    std::map<char32_t, KeyStroke> strokes_;
    std::map<std::tuple<int, bool, bool>, char32_t> direct_;  // key and level to its character
};

}  // namespace scalino
