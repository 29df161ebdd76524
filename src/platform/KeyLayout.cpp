#include "platform/KeyLayout.h"

#include <linux/input-event-codes.h>

#include <stdexcept>

#include "config/Keymap.h"

namespace scalino {

namespace {

namespace VK = VirtualKey;
using ConfigHelper::KeyboardType;
using KeyPairs = std::vector<std::pair<int, int>>;

constexpr int kQwertyLetters[26] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                    KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                    KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
constexpr int kKeypadDigits[10] = {KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4,
                                   KEY_KP5, KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9};
constexpr int kFunctionKeys[12] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4,  KEY_F5,  KEY_F6,
                                   KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12};

// The keys every layout has in the same place: space, digits, keypad, the start and end keys,
// and the letters, of which moved lists the letters that sit elsewhere than on QWERTY.
KeyPairs keysOf(const KeyPairs& moved, const KeyPairs& punctuation) {
    KeyPairs keys = {{VK::Space, KEY_SPACE},
                     {VK::D0, KEY_0},
                     {VK::KpMultiply, KEY_KPASTERISK},
                     {VK::KpAdd, KEY_KPPLUS},
                     {VK::KpDivide, KEY_KPSLASH},
                     {VK::Tab, KEY_TAB},
                     {VK::Enter, KEY_ENTER},
                     {VK::Right, KEY_RIGHT},
                     {VK::Down, KEY_DOWN},
                     {VK::Delete, KEY_DELETE}};
    for (int digit = 1; digit <= 9; ++digit)
        keys.emplace_back(VK::D0 + digit, KEY_1 + digit - 1);
    for (int digit = 0; digit <= 9; ++digit)
        keys.emplace_back(VK::Kp0 + digit, kKeypadDigits[digit]);
    for (int n = 0; n < 12; ++n)
        keys.emplace_back(VK::F1 + n, kFunctionKeys[n]);
    for (int letter = 0; letter < 26; ++letter) {
        int key = kQwertyLetters[letter];
        for (const auto& [virtualKey, physical] : moved) {
            if (virtualKey == VK::A + letter) key = physical;
        }
        keys.emplace_back(VK::A + letter, key);
    }
    keys.insert(keys.end(), punctuation.begin(), punctuation.end());
    return keys;
}

// clang-format off
// The number row and the punctuation keys of the US layouts, in the rows' notation.
const std::vector<KeyLayout::KeyRow> kUsRows = {
    {KEY_GRAVE, "`~"}, {KEY_1, "1!"}, {KEY_2, "2@"}, {KEY_3, "3#"},
    {KEY_4, "4$"}, {KEY_5, "5%"}, {KEY_6, "6^"}, {KEY_7, "7&"},
    {KEY_8, "8*"}, {KEY_9, "9("}, {KEY_0, "0)"}, {KEY_MINUS, "-_"},
    {KEY_EQUAL, "=+"}, {KEY_LEFTBRACE, "[{"}, {KEY_RIGHTBRACE, "]}"}, {KEY_SEMICOLON, ";:"},
    {KEY_APOSTROPHE, "'\""}, {KEY_BACKSLASH, "\\|"}, {KEY_COMMA, ",<"}, {KEY_DOT, ".>"},
    {KEY_SLASH, "/?"}};

// us(intl): the grave and apostrophe keys and Shift+6 are dead; AltGr gives their characters.
const std::vector<KeyLayout::KeyRow> kUsIntlRows = {
    {KEY_GRAVE, "`~`~", "dd"}, {KEY_1, "1!"}, {KEY_2, "2@"}, {KEY_3, "3#"},
    {KEY_4, "4$"}, {KEY_5, "5%"}, {KEY_6, "6^ ^", " d"}, {KEY_7, "7&"},
    {KEY_8, "8*"}, {KEY_9, "9("}, {KEY_0, "0)"}, {KEY_MINUS, "-_"},
    {KEY_EQUAL, "=+"}, {KEY_LEFTBRACE, "[{"}, {KEY_RIGHTBRACE, "]}"}, {KEY_SEMICOLON, ";:"},
    {KEY_APOSTROPHE, "'\"'\"", "dd"}, {KEY_BACKSLASH, "\\|"}, {KEY_COMMA, ",<"}, {KEY_DOT, ".>"},
    {KEY_SLASH, "/?"}};

// fr: digits on Shift; ^ and ` have no dead key of their own but sit on AltGr+9 and AltGr+7.
const std::vector<KeyLayout::KeyRow> kFrRows = {
    {KEY_GRAVE, " ~"}, {KEY_1, "&1"}, {KEY_2, " 2~"}, {KEY_3, "\"3#"},
    {KEY_4, "'4{$"}, {KEY_5, "(5["}, {KEY_6, "-6|"}, {KEY_7, " 7`"},
    {KEY_8, "_8\\"}, {KEY_9, " 9^"}, {KEY_0, " 0@"}, {KEY_MINUS, ") ]"},
    {KEY_EQUAL, "=+}"}, {KEY_LEFTBRACE, "^", "d"}, {KEY_RIGHTBRACE, "$"}, {KEY_APOSTROPHE, " %"},
    {KEY_BACKSLASH, "*"}, {KEY_M, ",?"}, {KEY_COMMA, ";."}, {KEY_DOT, ":/"},
    {KEY_SLASH, "!"}, {KEY_102ND, "<>|"}};

// de: ^ and ` exist only as dead keys.
const std::vector<KeyLayout::KeyRow> kDeRows = {
    {KEY_GRAVE, "^", "d"}, {KEY_1, "1!"}, {KEY_2, "2\""}, {KEY_3, "3"},
    {KEY_4, "4$"}, {KEY_5, "5%"}, {KEY_6, "6&"}, {KEY_7, "7/{"},
    {KEY_8, "8(["}, {KEY_9, "9)]"}, {KEY_0, "0=}"}, {KEY_MINUS, " ?\\"},
    {KEY_EQUAL, " `", " d"}, {KEY_Q, "  @"}, {KEY_RIGHTBRACE, "+*~"}, {KEY_BACKSLASH, "#'"},
    {KEY_COMMA, ",;"}, {KEY_DOT, ".:"}, {KEY_SLASH, "-_"}, {KEY_102ND, "<>|"}};
// clang-format on

// The punctuation keys of both US layouts; they differ only in the two keys that are dead keys
// on the international one.
KeyPairs usPunctuation(const KeyPairs& accentKeys) {
    KeyPairs keys = {{VK::Comma, KEY_COMMA},
                     {VK::Minus, KEY_MINUS},
                     {VK::Period, KEY_DOT},
                     {VK::Slash, KEY_SLASH},
                     {VK::Semicolon, KEY_SEMICOLON},
                     {VK::Equals, KEY_EQUAL},
                     {VK::OpenBracket, KEY_LEFTBRACE},
                     {VK::BackSlash, KEY_BACKSLASH},
                     {VK::CloseBracket, KEY_RIGHTBRACE}};
    keys.insert(keys.end(), accentKeys.begin(), accentKeys.end());
    return keys;
}

KeyLayout::Description usDescription() {
    return {"us",
            "",
            keysOf({}, usPunctuation({{VK::BackQuote, KEY_GRAVE}, {VK::Quote, KEY_APOSTROPHE}})),
            kUsRows,
            {}};
}

KeyLayout::Description usIntlDescription() {
    return {
        "us",
        "intl",
        keysOf({}, usPunctuation({{VK::DeadGrave, KEY_GRAVE}, {VK::DeadAcute, KEY_APOSTROPHE}})),
        kUsIntlRows,
        {{VK::DeadAcute, false, false, U'\''},
         {VK::DeadAcute, true, false, U'"'},
         {VK::DeadGrave, false, false, U'`'},
         {VK::DeadGrave, true, false, U'~'},
         {VK::D6, true, false, U'^'}}};
}

KeyLayout::Description frDescription() {
    return {"fr",
            "",
            keysOf({{VK::A, KEY_Q},
                    {VK::Q, KEY_A},
                    {VK::Z, KEY_W},
                    {VK::W, KEY_Z},
                    {VK::M, KEY_SEMICOLON}},
                   {{VK::Comma, KEY_M},
                    {VK::Semicolon, KEY_COMMA},
                    {VK::Colon, KEY_DOT},
                    {VK::ExclamationMark, KEY_SLASH},
                    {VK::Dollar, KEY_RIGHTBRACE},
                    {VK::RightParenthesis, KEY_MINUS},
                    {VK::Equals, KEY_EQUAL},
                    {VK::Less, KEY_102ND},
                    {VK::DeadCircumflex, KEY_LEFTBRACE}}),
            kFrRows,
            // AltGr+2 and AltGr+7 are dead keys in the key maps' layout, plain ones on Linux.
            {{VK::DeadCircumflex, false, false, U'^'},
             {VK::D2, false, true, U'~'},
             {VK::D7, false, true, U'`'}}};
}

KeyLayout::Description deDescription() {
    return {"de",
            "",
            keysOf({{VK::Y, KEY_Z}, {VK::Z, KEY_Y}}, {{VK::Comma, KEY_COMMA},
                                                      {VK::Period, KEY_DOT},
                                                      {VK::Minus, KEY_SLASH},
                                                      {VK::Less, KEY_102ND},
                                                      {VK::NumberSign, KEY_BACKSLASH},
                                                      {VK::Plus, KEY_RIGHTBRACE},
                                                      {VK::DeadCircumflex, KEY_GRAVE},
                                                      {VK::DeadAcute, KEY_EQUAL}}),
            kDeRows,
            {{VK::DeadCircumflex, false, false, U'^'}, {VK::DeadAcute, true, false, U'`'}}};
}

}  // namespace

const KeyLayout& KeyLayout::of(KeyboardType type) {
    static const KeyLayout us(usDescription());
    static const KeyLayout usIntl(usIntlDescription());
    static const KeyLayout fr(frDescription());
    static const KeyLayout de(deDescription());
    switch (type) {
        case KeyboardType::QUERTY: return us;
        case KeyboardType::US_INTERNATIONAL: return usIntl;
        case KeyboardType::AZERTY: return fr;
        case KeyboardType::GERMAN: return de;
        case KeyboardType::DESKTOP: break;
    }
    throw std::invalid_argument("the desktop's layout has no fixed table: it is read from XKB");
}

KeyLayout::KeyLayout(const Description& description)
    : xkbLayout_(description.xkbLayout),
      xkbVariant_(description.xkbVariant),
      physical_(description.keys.begin(), description.keys.end()),
      deadKeys_(description.deadKeys) {
    for (const KeyRow& row : description.rows) {
        for (size_t level = 0; level < row.levels.size(); ++level) {
            if (row.levels[level] == ' ') continue;
            const bool dead = level < row.dead.size() && row.dead[level] == 'd';
            addStroke(static_cast<unsigned char>(row.levels[level]),
                      {row.key, level % 2 == 1, level >= 2, dead});
        }
    }
    for (int letter = 0; letter < 26; ++letter) {
        const int key = physical_.at(VirtualKey::A + letter);
        addStroke(U'a' + letter, {key, false, false, false});
        addStroke(U'A' + letter, {key, true, false, false});
    }
    addStroke(U' ', {KEY_SPACE, false, false, false});
}

// A key that types the character directly wins over a dead key; otherwise the first one listed.
void KeyLayout::addStroke(char32_t character, KeyStroke stroke) {
    if (!stroke.dead)
        direct_.emplace(std::tuple(stroke.key, stroke.shift, stroke.altGr), character);
    auto [it, added] = strokes_.emplace(character, stroke);
    if (!added && it->second.dead && !stroke.dead) it->second = stroke;
}

std::string KeyLayout::name() const {
    if (xkbVariant_.empty()) return xkbLayout_;
    return xkbLayout_ + "(" + xkbVariant_ + ")";
}

std::optional<int> KeyLayout::physicalKey(int virtualKey) const {
    if (auto it = physical_.find(virtualKey); it != physical_.end()) return it->second;
    return std::nullopt;
}

std::optional<char32_t> KeyLayout::deadKeyCharacter(int virtualKey, bool shift, bool altGr) const {
    for (const DeadKey& dead : deadKeys_) {
        if (dead.virtualKey == virtualKey && dead.shift == shift && dead.altGr == altGr)
            return dead.character;
    }
    return std::nullopt;
}

bool KeyLayout::typesDirectly(const KeyStroke& stroke, char32_t character) const {
    if (stroke.dead) return false;
    const auto it = direct_.find(std::tuple(stroke.key, stroke.shift, stroke.altGr));
    return it != direct_.end() && it->second == character;
}

std::optional<KeyStroke> KeyLayout::strokeFor(char32_t character) const {
    if (auto it = strokes_.find(character); it != strokes_.end()) return it->second;
    return std::nullopt;
}

}  // namespace scalino
