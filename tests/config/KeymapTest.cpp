#include "config/Keymap.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace scalino {
namespace {

using namespace VirtualKey;
using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using ConfigHelper::values;
using Keys = std::vector<int>;

Keys keysOf(KeyboardType layout, KeyMapType type, char32_t character) {
    const KeyMap map = getKeymap(layout, type);
    const auto found = map.find(character);
    return found == map.end() ? Keys{} : found->second;
}

TEST(KeymapTest, EachTypeAddsItsGroupsOnEveryLayout) {
    for (KeyboardType layout : values<KeyboardType>()) {
        SCOPED_TRACE(ConfigHelper::name(layout));
        const KeyMap numeric = getKeymap(layout, KeyMapType::NUMERIC);
        const KeyMap basic = getKeymap(layout, KeyMapType::ALPHANUMERIC_BASIC);
        const KeyMap complete = getKeymap(layout, KeyMapType::ALPHANUMERIC_COMPLETE);
        EXPECT_EQ(numeric.size(), 14u);
        EXPECT_EQ(basic.size(), 14u + 26u);
        // Groups of 14, 26, 29 and 26 characters: a character in two groups would shrink this.
        EXPECT_EQ(complete.size(), 14u + 26u + 29u + 26u);
        // A larger type keeps the smaller type's keys.
        for (const auto& [character, keys] : numeric)
            EXPECT_EQ(basic.at(character), keys);
        for (const auto& [character, keys] : basic)
            EXPECT_EQ(complete.at(character), keys);
        // The complete map is exactly printable ASCII.
        EXPECT_EQ(complete.begin()->first, U' ');
        EXPECT_EQ(complete.rbegin()->first, U'~');
    }
}

TEST(KeymapTest, CharactersOutsideTheGroupsAreInNoMap) {
    for (KeyboardType layout : values<KeyboardType>()) {
        const KeyMap map = getKeymap(layout, KeyMapType::ALPHANUMERIC_COMPLETE);
        for (char32_t character : {U'\r', U'\n', U'\t', U'\x7F', U'é', U'ß', U'€', U'°'})
            EXPECT_FALSE(map.contains(character)) << static_cast<int>(character);
    }
    EXPECT_EQ(keysOf(KeyboardType::QUERTY, KeyMapType::NUMERIC, U'A'), Keys{});
    EXPECT_EQ(keysOf(KeyboardType::QUERTY, KeyMapType::NUMERIC, U' '), Keys{});
    EXPECT_EQ(keysOf(KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_BASIC, U'a'), Keys{});
    EXPECT_EQ(keysOf(KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_BASIC, U'*'), Keys{});
}

struct KeysCase {
    KeyboardType layout;
    KeyMapType type;
    char32_t character;
    Keys keys;
};

constexpr auto kQuerty = KeyboardType::QUERTY;
constexpr auto kUsIntl = KeyboardType::US_INTERNATIONAL;
constexpr auto kGerman = KeyboardType::GERMAN;
constexpr auto kAzerty = KeyboardType::AZERTY;
constexpr auto kNumeric = KeyMapType::NUMERIC;
constexpr auto kBasic = KeyMapType::ALPHANUMERIC_BASIC;
constexpr auto kComplete = KeyMapType::ALPHANUMERIC_COMPLETE;

TEST(KeymapTest, NumbersLettersAndSpace) {
    const KeysCase cases[] = {
        {kQuerty, kNumeric, U'0', {D0}},
        {kQuerty, kNumeric, U'-', {Minus}},
        {kUsIntl, kNumeric, U'.', {Period}},
        {kQuerty, kNumeric, U'+', {KpAdd}},
        {kAzerty, kNumeric, U'5', {Shift, D5}},
        {kAzerty, kNumeric, U'0', {Shift, D0}},
        {kAzerty, kNumeric, U'-', {D6}},
        {kAzerty, kNumeric, U'.', {Shift, Semicolon}},
        {kQuerty, kBasic, U'A', {Shift, A}},
        {kAzerty, kBasic, U'A', {Shift, A}},  // letter keys are named by the letter they carry
        {kAzerty, kComplete, U'q', {Q}},
        {kGerman, kComplete, U'y', {Y}},
        {kQuerty, kComplete, U'*', {KpMultiply}},
        {kAzerty, kComplete, U'/', {KpDivide}},
        {kGerman, kComplete, U' ', {Space}},
    };
    for (const KeysCase& c : cases) {
        EXPECT_EQ(keysOf(c.layout, c.type, c.character), c.keys)
            << ConfigHelper::name(c.layout) << " " << static_cast<char>(c.character);
    }
}

TEST(KeymapTest, PunctuationDiffersByLayout) {
    const KeysCase cases[] = {
        {kQuerty, kComplete, U'"', {Shift, Quote}},
        {kQuerty, kComplete, U'\'', {Quote}},
        {kQuerty, kComplete, U'?', {Shift, Slash}},
        {kQuerty, kComplete, U'`', {BackQuote}},
        {kQuerty, kComplete, U'~', {Shift, BackQuote}},
        {kUsIntl, kComplete, U'\'', {DeadAcute, Space}},
        {kUsIntl, kComplete, U'"', {Shift, DeadAcute, Space}},
        {kUsIntl, kComplete, U'^', {Shift, D6, Space}},
        {kUsIntl, kComplete, U'~', {Shift, DeadGrave, Space}},
        {kUsIntl, kComplete, U'@', {Shift, D2}},
        {kGerman, kComplete, U'@', {Ctrl, Alt, Q}},
        {kGerman, kComplete, U'?', {Alt, Kp6, Kp3}},
        {kGerman, kComplete, U'\\', {Alt, Kp9, Kp2}},
        {kGerman, kComplete, U'#', {NumberSign}},
        {kGerman, kComplete, U'~', {Ctrl, Alt, Plus}},
        {kGerman, kComplete, U'>', {Shift, Less}},
        {kGerman, kComplete, U'`', {Shift, DeadAcute, Space}},
        {kAzerty, kComplete, U'!', {ExclamationMark}},
        {kAzerty, kComplete, U':', {Colon}},
        {kAzerty, kComplete, U'$', {Dollar}},
        {kAzerty, kComplete, U')', {RightParenthesis}},
        {kAzerty, kComplete, U'%', {Alt, Kp3, Kp7}},
        {kAzerty, kComplete, U']', {Ctrl, Alt, RightParenthesis}},
        {kAzerty, kComplete, U'`', {Ctrl, Alt, D7, Space}},
        {kAzerty, kComplete, U'_', {D8}},
    };
    for (const KeysCase& c : cases) {
        EXPECT_EQ(keysOf(c.layout, c.type, c.character), c.keys)
            << ConfigHelper::name(c.layout) << " " << static_cast<char>(c.character);
    }
}

// The typing engine holds back a Space after the first key until the other keys are up, and
// the backends must know every code the maps use; on the desktop's layout a character is the
// one key that names it.
TEST(KeymapTest, EveryKeyHasANameAndSpaceFollowsOnlyAtTheEnd) {
    const std::vector<int> named = allKeyCodes();
    for (KeyboardType layout : values<KeyboardType>()) {
        for (const auto& [character, keys] : getKeymap(layout, KeyMapType::ALPHANUMERIC_COMPLETE)) {
            ASSERT_FALSE(keys.empty());
            if (layout == KeyboardType::DESKTOP) {
                EXPECT_EQ(keys, std::vector<int>{VirtualKey::character(character)});
                continue;
            }
            for (size_t i = 0; i < keys.size(); ++i) {
                EXPECT_TRUE(std::ranges::binary_search(named, keys[i])) << keys[i];
                if (keys[i] == Space && i > 0) {
                    EXPECT_EQ(i, keys.size() - 1);
                }
            }
        }
    }
}

}  // namespace
}  // namespace scalino
