// Characters found in keymaps compiled from the system's XKB data (package xkb-data), as the
// desktop's layout types them without an X server: under Wayland, or with a named layout.
#include "platform/XkbCharacterTable.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/KeyEventBackend.h"
#include "platform/RecordingKeyboard.h"
#include "platform/XkbKeymap.h"
#include "util/Text.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

using Chords = std::vector<KeyChord>;

std::string show(const Chords* chords) {
    if (chords == nullptr) return "none";
    std::string text;
    for (const KeyChord& chord : *chords) {
        text += "[";
        if (chord.togglesNumLock) text += "NumLock ";
        for (int modifier : chord.modifiers)
            text += std::to_string(modifier) + "+";
        text += std::to_string(chord.key) + "]";
    }
    return text;
}

KeyChord plain(int key) {
    return {{}, key, false};
}
KeyChord shifted(int key) {
    return {{KEY_LEFTSHIFT}, key, false};
}
KeyChord altGr(int key) {
    return {{KEY_RIGHTALT}, key, false};
}

struct ChordCase {
    const char* layout;
    char32_t character;
    std::optional<Chords> chords;  // none: the layout lacks it
};

// The lowest level wins, the main block before the keypad where levels tie; AltGr is the right
// Alt key; a character only a dead key gives comes as dead key and the key it composes with.
TEST(XkbCharacterTableTest, FindsTheKeysOfTheLowestLevel) {
    const ChordCase cases[] = {
        {"us", U'a', Chords{plain(KEY_A)}},
        {"us", U'A', Chords{shifted(KEY_A)}},
        {"us", U'1', Chords{plain(KEY_1)}},
        {"us", U'-', Chords{plain(KEY_MINUS)}},
        {"us", U'+', Chords{plain(KEY_KPPLUS)}},  // level 1 on the keypad, 2 on '='
        {"us", U'/', Chords{plain(KEY_SLASH)}},   // tie: the main block
        {"us", U'~', Chords{shifted(KEY_GRAVE)}},
        {"us", U' ', Chords{plain(KEY_SPACE)}},
        {"us", U'é', std::nullopt},
        {"de", U'z', Chords{plain(KEY_Y)}},
        {"de", U'Y', Chords{shifted(KEY_Z)}},
        {"de", U'ß', Chords{plain(KEY_MINUS)}},
        {"de", U'@', Chords{altGr(KEY_Q)}},
        {"de", U'€', Chords{altGr(KEY_E)}},
        {"de", U'µ', Chords{altGr(KEY_M)}},
        {"de", U'°', Chords{shifted(KEY_GRAVE)}},
        {"de", U'=', Chords{shifted(KEY_0)}},
        {"de", U'^', Chords{plain(KEY_GRAVE), plain(KEY_SPACE)}},  // dead circumflex, Space
        {"de", U'`', Chords{shifted(KEY_EQUAL), plain(KEY_SPACE)}},
        {"de", U'é', Chords{plain(KEY_EQUAL), plain(KEY_E)}},
        {"de", U'â', Chords{plain(KEY_GRAVE), plain(KEY_A)}},
        {"fr", U'1', Chords{shifted(KEY_1)}},
        {"fr", U'é', Chords{plain(KEY_2)}},
        {"fr", U'a', Chords{plain(KEY_Q)}},
        {"fr", U'ê', Chords{plain(KEY_LEFTBRACE), plain(KEY_E)}},
        {"fr", U'~', Chords{shifted(KEY_GRAVE)}},  // level 2 of the key left of 1
        {"ch(fr)", U'è', Chords{plain(KEY_LEFTBRACE)}},
        {"gb", U'£', Chords{shifted(KEY_3)}},
        {"gb", U'"', Chords{shifted(KEY_2)}},
        {"gb", U'#', Chords{plain(KEY_BACKSLASH)}},
        {"us(dvorak)", U's', Chords{plain(KEY_SEMICOLON)}},
        {"us(dvorak)", U'[', Chords{plain(KEY_MINUS)}},
        {"pl", U'ą', Chords{altGr(KEY_A)}},
    };
    for (const ChordCase& c : cases) {
        const XkbKeymap keymap = XkbKeymap::compile(c.layout);
        const XkbCharacterTable table(keymap, 0);
        std::string character;
        appendUtf8(character, c.character);
        EXPECT_EQ(show(table.chordsFor(c.character, {})), show(c.chords ? &*c.chords : nullptr))
            << c.layout << " " << character;
        EXPECT_EQ(table.canType(c.character), c.chords.has_value()) << c.layout << " " << character;
    }
}

// Caps Lock inverts the letters' levels and NumLock the keypad's: the modifiers chosen make up
// for both, so the same character arrives whatever the lights show.
TEST(XkbCharacterTableTest, MakesUpForTheLocks) {
    struct Case {
        const char* layout;
        char32_t character;
        LockState locks;
        Chords chords;
    };
    const Case cases[] = {
        {"us", U'a', {true, false}, {shifted(KEY_A)}},
        {"us", U'A', {true, false}, {plain(KEY_A)}},
        {"us", U'1', {true, false}, {plain(KEY_1)}},
        {"de", U'ü', {true, false}, {shifted(KEY_LEFTBRACE)}},
        {"us", U'+', {false, true}, {plain(KEY_KPPLUS)}},
    };
    for (const Case& c : cases) {
        const XkbKeymap keymap = XkbKeymap::compile(c.layout);
        const XkbCharacterTable table(keymap, 0);
        EXPECT_EQ(show(table.chordsFor(c.character, c.locks)), show(&c.chords))
            << c.layout << " " << static_cast<unsigned>(c.character);
    }
    const XkbCharacterTable us(XkbKeymap::compile("us"), 0);
    EXPECT_EQ(us.locksThatMatter(U'a'), (LockState{true, false}));
    EXPECT_EQ(us.locksThatMatter(U'1'), (LockState{false, false}));
    EXPECT_EQ(us.locksThatMatter(U'.'), (LockState{false, false}));
}

// Every printable ASCII character on the common layouts, none of them through a key a pc105
// keyboard lacks.
TEST(XkbCharacterTableTest, TypesEveryPrintableAsciiCharacterOnTheCommonLayouts) {
    for (const char* layout : {"us", "gb", "de", "ch(de)", "ch(fr)", "fr", "be", "es", "it", "pt",
                               "se", "no", "dk", "fi", "pl", "cz", "hu", "us(intl)", "us(dvorak)",
                               "fr(bepo)", "latam"}) {
        const XkbCharacterTable table(XkbKeymap::compile(layout), 0);
        for (char32_t c = 0x20; c <= 0x7E; ++c) {
            const auto* chords = table.chordsFor(c, {});
            ASSERT_NE(chords, nullptr) << layout << " lacks '" << static_cast<char>(c) << "'";
            for (const KeyChord& chord : *chords)
                EXPECT_TRUE(chord.key <= KEY_KPDOT || chord.key == KEY_102ND ||
                            chord.key == KEY_KPSLASH)
                    << layout << " '" << static_cast<char>(c) << "': key " << chord.key;
        }
    }
}

// Spare keys a keyboard gives keysyms on, in order; none once the given number is used up.
class CountedSpareKeys : public SpareKeys {
public:
    explicit CountedSpareKeys(int count) : count_(count) {}
    std::optional<int> keyFor(uint32_t keysym) override {
        asked.push_back(keysym);
        if (count_ == 0) return std::nullopt;
        --count_;
        return KEY_F13 + count_;
    }
    std::vector<uint32_t> asked;

private:
    int count_;
};

// A character the keymap lacks that has a keysym is typed on the spare key the keyboard gives
// it, alone whatever the locks; the keymap's own characters keep their keys, and without spare
// keys (or with none left) the character cannot be typed.
TEST(XkbCharacterTableTest, CharactersTheKeymapLacksGoOnSpareKeys) {
    const XkbKeymap us = XkbKeymap::compile("us");
    const XkbCharacterTable plain(us, 0);
    CountedSpareKeys spare(1);
    const XkbCharacterTable table(us, 0, &spare);
    EXPECT_FALSE(plain.canType(U'\u0416'));
    EXPECT_TRUE(table.canType(U'\u0416'));
    EXPECT_TRUE(table.canType(U'\u20AC'));
    EXPECT_FALSE(table.canType(U'\u0007'));
    EXPECT_FALSE(table.canType(U'\uFDD0'));  // a noncharacter: no keysym
    EXPECT_EQ(table.chordsFor(U'\uFDD0', {}), nullptr);
    EXPECT_EQ(table.size(), plain.size());
    const auto* zhe = table.chordsFor(U'\u0416', {true, true});
    ASSERT_NE(zhe, nullptr);
    EXPECT_EQ(*zhe, (std::vector<KeyChord>{{{}, KEY_F13, false}}));
    EXPECT_EQ(table.locksThatMatter(U'\u0416'), LockState{});
    EXPECT_EQ(spare.asked, std::vector<uint32_t>{0x6f6});  // XKB_KEY_Cyrillic_ZHE
    EXPECT_EQ(table.chordsFor(U'\u20AC', {}), nullptr);  // no spare key left
    EXPECT_EQ(*table.chordsFor(U'a', {}), *plain.chordsFor(U'a', {}));
    EXPECT_EQ(spare.asked.size(), 2u);
}

TEST(XkbCharacterTableTest, RefusesLayoutsTheSystemLacksAndMalformedNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"xx", "the system has no keyboard layout 'xx'"},
        {"de(nonesuch)", "the system has no keyboard layout 'de(nonesuch)'"},
        {"de(", "is not a keyboard layout name"},
        {"de fr", "is not a keyboard layout name"},
        {"../../etc/passwd", "is not a keyboard layout name"},
    };
    for (const auto& [name, message] : cases) {
        try {
            XkbKeymap::compile(name);
            ADD_FAILURE() << name << " compiled";
        } catch (const KeyEventError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

// Without an X server the desktop's layout must be named, and the message says so.
TEST(XkbCharacterTableTest, WithoutAnXServerTheLayoutMustBeNamed) {
    setenv("DISPLAY", "", 1);
    try {
        openDesktopLayout("");
        ADD_FAILURE() << "a layout without an X server";
    } catch (const KeyEventError& error) {
        // The reason in parentheses is the X11 part's, or that the build has none.
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with(
            "the desktop's keyboard layout cannot be read from an X server ("))
            << message;
        EXPECT_TRUE(message.ends_with(
            "): name the layout in the xkbLayout setting, such as de or ch(fr)"))
            << message;
    }
    EXPECT_EQ(openDesktopLayout("ch(fr)")->name(), "ch(fr)");
}

// Through the typing engine's key codes: modifiers around the key, a dead key tapped before,
// and the start and end keys as on every layout.
TEST(XkbCharacterTableTest, DesktopKeyEventsPressAndReleaseInOrder) {
    auto keyboard = std::make_unique<test::RecordingKeyboard>();
    test::RecordingKeyboard& recorded = *keyboard;
    DesktopKeyEvents keys(std::make_unique<NamedDesktopLayout>("de"), std::move(keyboard));
    for (int code : {VirtualKey::character(U'@'), VirtualKey::character(U'^'), VirtualKey::Enter}) {
        keys.keyPress(code);
        keys.keyRelease(code);
    }
    using Event = test::RecordingKeyboard::Event;
    const std::vector<Event> expected = {
        {true, KEY_RIGHTALT}, {true, KEY_Q},      {false, KEY_Q},     {false, KEY_RIGHTALT},
        {true, KEY_GRAVE},    {false, KEY_GRAVE}, {true, KEY_SPACE},  {false, KEY_SPACE},
        {true, KEY_ENTER},    {false, KEY_ENTER}};
    EXPECT_EQ(test::RecordingKeyboard::transcript(recorded.events()),
              test::RecordingKeyboard::transcript(expected));
    EXPECT_FALSE(keys.canType(U'ñ'));
    EXPECT_THROW(keys.keyPress(VirtualKey::character(U'ñ')), KeyEventError);
    EXPECT_THROW(keys.keyPress(VirtualKey::Shift), KeyEventError);
}

}  // namespace
}  // namespace scalino
