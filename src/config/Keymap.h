#pragma once

#include <map>
#include <string>
#include <vector>

#include "config/ConfigHelper.h"

// Virtual key codes: the numbers the key maps and the typing engine use for keys. Each names the
// key that carries that label on the selected layout; a key-event backend maps every code one to
// one to a physical key.
namespace scalino::VirtualKey {

inline constexpr int Shift = 16;
inline constexpr int Ctrl = 17;  // Ctrl + Alt held together stand for AltGr
inline constexpr int Alt = 18;   // Alt + keypad digits type a character by its decimal code
inline constexpr int Space = 32;
inline constexpr int Comma = 44;
inline constexpr int Minus = 45;
inline constexpr int Period = 46;
inline constexpr int Slash = 47;
inline constexpr int D0 = 48;  // digit keys of the main block, D0 + n for the digit n
inline constexpr int D1 = 49;
inline constexpr int D2 = 50;
inline constexpr int D3 = 51;
inline constexpr int D4 = 52;
inline constexpr int D5 = 53;
inline constexpr int D6 = 54;
inline constexpr int D7 = 55;
inline constexpr int D8 = 56;
inline constexpr int D9 = 57;
inline constexpr int Semicolon = 59;
inline constexpr int Equals = 61;
inline constexpr int A = 65;  // letter keys, A + n for the n-th letter
inline constexpr int B = 66;
inline constexpr int C = 67;
inline constexpr int D = 68;
inline constexpr int E = 69;
inline constexpr int F = 70;
inline constexpr int G = 71;
inline constexpr int H = 72;
inline constexpr int I = 73;
inline constexpr int J = 74;
inline constexpr int K = 75;
inline constexpr int L = 76;
inline constexpr int M = 77;
inline constexpr int N = 78;
inline constexpr int O = 79;
inline constexpr int P = 80;
inline constexpr int Q = 81;
inline constexpr int R = 82;
inline constexpr int S = 83;
inline constexpr int T = 84;
inline constexpr int U = 85;
inline constexpr int V = 86;
inline constexpr int W = 87;
inline constexpr int X = 88;
inline constexpr int Y = 89;
inline constexpr int Z = 90;
inline constexpr int OpenBracket = 91;
inline constexpr int BackSlash = 92;
inline constexpr int CloseBracket = 93;
inline constexpr int Kp0 = 96;  // numeric keypad digits, Kp0 + n for the digit n
inline constexpr int Kp1 = 97;
inline constexpr int Kp2 = 98;
inline constexpr int Kp3 = 99;
inline constexpr int Kp4 = 100;
inline constexpr int Kp5 = 101;
inline constexpr int Kp6 = 102;
inline constexpr int Kp7 = 103;
inline constexpr int Kp8 = 104;
inline constexpr int Kp9 = 105;
inline constexpr int KpMultiply = 106;
inline constexpr int KpAdd = 107;
inline constexpr int KpDivide = 111;
inline constexpr int DeadGrave = 128;
inline constexpr int DeadAcute = 129;
inline constexpr int DeadCircumflex = 130;
inline constexpr int Less = 153;
inline constexpr int BackQuote = 192;
inline constexpr int Quote = 222;
inline constexpr int Colon = 513;
inline constexpr int Dollar = 515;
inline constexpr int ExclamationMark = 517;
inline constexpr int NumberSign = 520;
inline constexpr int Plus = 521;
inline constexpr int RightParenthesis = 522;

// The start and end keys of the settings (ConfigHelper::getKeyCode) in the same numbering.
inline constexpr int Tab = 9;
inline constexpr int Enter = 10;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Delete = 127;
inline constexpr int F1 = 112;  // function keys, F1 + n - 1 for Fn
inline constexpr int F12 = 123;

// On the desktop's layout a key code can name a character instead of a key: the backend looks
// it up in the desktop's keymap and presses whatever keys give it there.
inline constexpr int CharacterBase = 0x200000;
inline constexpr int character(char32_t c) {
    return CharacterBase + static_cast<int>(c);
}
// The character a code names, or U'\0' for a code that names a key.
inline constexpr char32_t characterOf(int keyCode) {
    return keyCode > CharacterBase && keyCode <= CharacterBase + 0x10FFFF
               ? static_cast<char32_t>(keyCode - CharacterBase)
               : U'\0';
}

// The name above for a code ("Shift", "D5", "Kp3", "F12"), the character in quotes for a code
// that names one ("'é'"), or "" for a code without either.
std::string name(int keyCode);

// Every code that has a name, ascending.
std::vector<int> allKeyCodes();

}  // namespace scalino::VirtualKey

namespace scalino {

// Character to the keys that type it, pressed in order and released in reverse order.
using KeyMap = std::map<char32_t, std::vector<int>>;

// The characters a keyboard layout can type for an instrument's kind of data. A character the
// map lacks cannot be typed, except where typesBeyondAscii allows it. On the desktop's layout
// every character is one key code that names it (VirtualKey::character).
KeyMap getKeymap(ConfigHelper::KeyboardType keyboardType, ConfigHelper::KeyMapType keyMapType);

// True where text beyond ASCII ("°", "µ", "€", "é") may be typed as well, one character key each:
// the desktop's layout with a key map for text. Whether the layout has a character is the
// backend's to say.
bool typesBeyondAscii(ConfigHelper::KeyboardType keyboardType,
                      ConfigHelper::KeyMapType keyMapType);

}  // namespace scalino
