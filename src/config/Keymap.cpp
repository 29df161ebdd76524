#include "config/Keymap.h"

#include <stdexcept>
#include <string_view>
#include <utility>

#include "util/Text.h"

namespace scalino {

namespace VirtualKey {
namespace {

// The keys whose names are not built from a base and a number.
constexpr std::pair<int, std::string_view> kSingleNames[] = {
    {Tab, "Tab"},
    {Enter, "Enter"},
    {Shift, "Shift"},
    {Ctrl, "Ctrl"},
    {Alt, "Alt"},
    {Space, "Space"},
    {Right, "Right"},
    {Down, "Down"},
    {Comma, "Comma"},
    {Minus, "Minus"},
    {Period, "Period"},
    {Slash, "Slash"},
    {Semicolon, "Semicolon"},
    {Equals, "Equals"},
    {OpenBracket, "OpenBracket"},
    {BackSlash, "BackSlash"},
    {CloseBracket, "CloseBracket"},
    {KpMultiply, "KpMultiply"},
    {KpAdd, "KpAdd"},
    {KpDivide, "KpDivide"},
    {Delete, "Delete"},
    {DeadGrave, "DeadGrave"},
    {DeadAcute, "DeadAcute"},
    {DeadCircumflex, "DeadCircumflex"},
    {Less, "Less"},
    {BackQuote, "BackQuote"},
    {Quote, "Quote"},
    {Colon, "Colon"},
    {Dollar, "Dollar"},
    {ExclamationMark, "ExclamationMark"},
    {NumberSign, "NumberSign"},
    {Plus, "Plus"},
    {RightParenthesis, "RightParenthesis"},
};

}  // namespace

std::string name(int keyCode) {
    if (const char32_t c = characterOf(keyCode)) {
        std::string text = "'";
        appendUtf8(text, c);
        return text + "'";
    }
    if (keyCode >= D0 && keyCode <= D9) return "D" + std::to_string(keyCode - D0);
    if (keyCode >= A && keyCode <= Z) return std::string(1, static_cast<char>(keyCode));
    if (keyCode >= Kp0 && keyCode <= Kp9) return "Kp" + std::to_string(keyCode - Kp0);
    if (keyCode >= F1 && keyCode <= F12) return "F" + std::to_string(keyCode - F1 + 1);
    for (const auto& [code, text] : kSingleNames) {
        if (code == keyCode) return std::string(text);
    }
    return "";
}

std::vector<int> allKeyCodes() {
    std::vector<int> codes;
    for (int code = 0; code <= RightParenthesis; ++code) {
        if (!name(code).empty()) codes.push_back(code);
    }
    return codes;
}

}  // namespace VirtualKey

namespace {

using namespace VirtualKey;
using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using Keys = std::vector<int>;

// Punctuation, one column per layout.
struct PunctuationRow {
    char32_t character;
    Keys querty;
    Keys usInternational;
    Keys german;
    Keys azerty;

    const Keys& keysFor(KeyboardType type) const {
        switch (type) {
            case KeyboardType::QUERTY: return querty;
            case KeyboardType::US_INTERNATIONAL: return usInternational;
            case KeyboardType::GERMAN: return german;
            case KeyboardType::AZERTY: return azerty;
            case KeyboardType::DESKTOP: break;
        }
        throw std::invalid_argument("unknown keyboard type");
    }
};

// clang-format off
const PunctuationRow kPunctuation[] = {
    // char  QUERTY                  US_INTERNATIONAL                GERMAN                          AZERTY
    {U'!',  {Shift, D1},            {Shift, D1},                    {Shift, D1},                    {ExclamationMark}},
    {U'"',  {Shift, Quote},         {Shift, DeadAcute, Space},      {Shift, D2},                    {D3}},
    {U':',  {Shift, Semicolon},     {Shift, Semicolon},             {Shift, Period},                {Colon}},
    {U'#',  {Shift, D3},            {Shift, D3},                    {NumberSign},                   {Ctrl, Alt, D3}},
    {U'$',  {Shift, D4},            {Shift, D4},                    {Shift, D4},                    {Dollar}},
    {U'%',  {Shift, D5},            {Shift, D5},                    {Shift, D5},                    {Alt, Kp3, Kp7}},
    {U'&',  {Shift, D7},            {Shift, D7},                    {Shift, D6},                    {D1}},
    {U'\'', {Quote},                {DeadAcute, Space},             {Shift, NumberSign},            {D4}},
    {U'(',  {Shift, D9},            {Shift, D9},                    {Shift, D8},                    {D5}},
    {U')',  {Shift, D0},            {Shift, D0},                    {Shift, D9},                    {RightParenthesis}},
    {U';',  {Semicolon},            {Semicolon},                    {Shift, Comma},                 {Semicolon}},
    {U'<',  {Shift, Comma},         {Shift, Comma},                 {Less},                         {Less}},
    {U'=',  {Equals},               {Equals},                       {Shift, D0},                    {Equals}},
    {U'>',  {Shift, Period},        {Shift, Period},                {Shift, Less},                  {Shift, Less}},
    {U'?',  {Shift, Slash},         {Shift, Slash},                 {Alt, Kp6, Kp3},                {Shift, Comma}},
    {U'@',  {Shift, D2},            {Shift, D2},                    {Ctrl, Alt, Q},                 {Ctrl, Alt, D0}},
    {U'[',  {OpenBracket},          {OpenBracket},                  {Ctrl, Alt, D8},                {Ctrl, Alt, D5}},
    {U'\\', {BackSlash},            {BackSlash},                    {Alt, Kp9, Kp2},                {Ctrl, Alt, D8}},
    {U']',  {CloseBracket},         {CloseBracket},                 {Ctrl, Alt, D9},                {Ctrl, Alt, RightParenthesis}},
    {U'^',  {Shift, D6},            {Shift, D6, Space},             {DeadCircumflex, Space},        {DeadCircumflex, Space}},
    {U'_',  {Shift, Minus},         {Shift, Minus},                 {Shift, Minus},                 {D8}},
    {U'`',  {BackQuote},            {DeadGrave, Space},             {Shift, DeadAcute, Space},      {Ctrl, Alt, D7, Space}},
    {U'{',  {Shift, OpenBracket},   {Shift, OpenBracket},           {Ctrl, Alt, D7},                {Ctrl, Alt, D4}},
    {U'|',  {Shift, BackSlash},     {Shift, BackSlash},             {Ctrl, Alt, Less},              {Ctrl, Alt, D6}},
    {U'}',  {Shift, CloseBracket},  {Shift, CloseBracket},          {Ctrl, Alt, D0},                {Ctrl, Alt, Equals}},
    {U'~',  {Shift, BackQuote},     {Shift, DeadGrave, Space},      {Ctrl, Alt, Plus},              {Ctrl, Alt, D2, Space}},
};
// clang-format on

// Every character belongs to one group only; a second entry would be a fault in the tables.
void put(KeyMap& map, char32_t character, Keys keys) {
    if (!map.emplace(character, std::move(keys)).second)
        throw std::logic_error("character mapped twice: " + std::to_string(character));
}

// Digits and the number signs.
void addNumbers(KeyMap& map, KeyboardType type) {
    const bool azerty = type == KeyboardType::AZERTY;
    for (int digit = 0; digit <= 9; ++digit) {
        put(map, U'0' + digit, azerty ? Keys{Shift, D0 + digit} : Keys{D0 + digit});
    }
    put(map, U'-', azerty ? Keys{D6} : Keys{Minus});
    put(map, U'+', {KpAdd});
    put(map, U',', {Comma});
    put(map, U'.', azerty ? Keys{Shift, Semicolon} : Keys{Period});
}

void addCapitals(KeyMap& map) {
    for (int letter = 0; letter < 26; ++letter)
        put(map, U'A' + letter, {Shift, A + letter});
}

// Small letters, the keypad signs and space.
void addSmallLetters(KeyMap& map) {
    for (int letter = 0; letter < 26; ++letter)
        put(map, U'a' + letter, {A + letter});
    put(map, U'*', {KpMultiply});
    put(map, U'/', {KpDivide});
    put(map, U' ', {Space});
}

void addPunctuation(KeyMap& map, KeyboardType type) {
    for (const auto& row : kPunctuation)
        put(map, row.character, row.keysFor(type));
}

// Every character of the fixed layouts' map as a key that names it.
KeyMap characterKeys(KeyMap map) {
    for (auto& [character, keys] : map)
        keys = {VirtualKey::character(character)};
    return map;
}

}  // namespace

KeyMap getKeymap(KeyboardType keyboardType, KeyMapType keyMapType) {
    if (keyboardType == KeyboardType::DESKTOP)
        return characterKeys(getKeymap(KeyboardType::QUERTY, keyMapType));
    KeyMap map;
    addNumbers(map, keyboardType);
    if (keyMapType == KeyMapType::NUMERIC) return map;
    addCapitals(map);
    if (keyMapType == KeyMapType::ALPHANUMERIC_BASIC) return map;
    addSmallLetters(map);
    addPunctuation(map, keyboardType);
    return map;
}

bool typesBeyondAscii(KeyboardType keyboardType, KeyMapType keyMapType) {
    return keyboardType == KeyboardType::DESKTOP && keyMapType == KeyMapType::ALPHANUMERIC_COMPLETE;
}

}  // namespace scalino
