#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/Decimal.h"

namespace scalino {
class ResourceBundle;
}

// The vocabulary of every setting: enumerations with their constant names, ordinals, display
// texts and defaults, and validators for the settings typed as text.
namespace scalino::ConfigHelper {

// The settings bundle that display texts and instrument hints come from.
const ResourceBundle& bundle();
inline constexpr std::string_view kBundleName = "scalino.config.ConfigBundle";

// clang-format off
enum class BitRates {
    BR_110, BR_150, BR_300, BR_600, BR_1200, BR_2400, BR_4800, BR_9600,
    BR_19200, BR_38400, BR_57600, BR_115200, BR_230400, BR_460800, BR_921600
};
enum class DataBits { LN_5BITS, LN_6BITS, LN_7BITS, LN_8BITS };
enum class StopBits { ST_1BITS, ST_2BITS };
enum class Parity { NONE, ODD, EVEN, MARK, SPACE };
enum class InputTerminator { EOT, LF, CR };
enum class StartWith {
    NONE, ENTER, TAB, RIGHT, DOWN, DELETE, MULTIPLY,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12
};
enum class OutputTerminator { NONE, ENTER, TAB, RIGHT, DOWN };
enum class Sound { NONE, RIDE_BELL, COWBELL, HIGH_AGOGO, LOW_AGOGO, CLAVES, OPEN_TRIANGLE };
enum class RoundingMethod { CEILING, DOWN, FLOOR, HALF_DOWN, HALF_EVEN, HALF_UP, UP };
enum class MathOperation { NONE, MULTIPLY, DIVIDE };
enum class DecimalSeparator { DOT, COMMA };
enum class EditOperation { REMOVE, KEEP };
enum class EditPosition { FIRST, LAST };
enum class Connect { MANUAL, AUTO };
// The constant name is spelled QUERTY: it is what the settings store holds.
enum class KeyboardType { QUERTY, US_INTERNATIONAL, AZERTY, GERMAN, DESKTOP };
// How key events leave the program; each names a backend of createKeyEventGenerator.
enum class KeyboardOutput { AUTO, PORTAL, KDE, WAYLAND, UINPUT, X11 };
enum class KeyMapType { NUMERIC, ALPHANUMERIC_BASIC, ALPHANUMERIC_COMPLETE };
enum class InstrumentType { NUMBER, TEXT };
enum class Instrument;  // the instrument profiles, in Instrument.h
// clang-format on

// One constant of an enumeration: its name and, where it has one, its display text, either a
// literal or a key of the settings bundle.
struct Constant {
    std::string_view name;
    std::string_view text = {};
    bool textIsKey = false;
};
constexpr Constant literal(std::string_view name, std::string_view text) {
    return {name, text, false};
}
constexpr Constant keyed(std::string_view name, std::string_view key) {
    return {name, key, true};
}
constexpr Constant bare(std::string_view name) {
    return {name};
}

// Specialised for every enumeration: `constants` in ordinal order and `defaultValue`.
template <typename E>
struct Description;

template <typename E>
constexpr int ordinal(E value) {
    return static_cast<int>(value);
}

template <typename E>
constexpr std::string_view name(E value) {
    return Description<E>::constants[static_cast<size_t>(value)].name;
}

// Every constant in ordinal order.
template <typename E>
constexpr auto values() {
    std::array<E, Description<E>::constants.size()> all{};
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<E>(i);
    return all;
}

template <typename E>
constexpr E getDefault() {
    return Description<E>::defaultValue;
}

// The constant with exactly this name (case-sensitive).
template <typename E>
constexpr std::optional<E> valueOf(std::string_view constantName) {
    const auto& constants = Description<E>::constants;
    for (size_t i = 0; i < constants.size(); ++i) {
        if (constants[i].name == constantName) return static_cast<E>(i);
    }
    return std::nullopt;
}

// Acceptance of an enumeration stored by name.
template <typename E>
constexpr bool isValid(std::string_view constantName) {
    return valueOf<E>(constantName).has_value();
}

// Acceptance of an enumeration stored by position.
template <typename E>
constexpr bool isValidPosition(int position) {
    return position >= 0 && static_cast<size_t>(position) < Description<E>::constants.size();
}

std::string displayText(const Constant& constant);

// The display text (bundle texts are looked up once, on first use of the enumeration; a
// missing key throws MissingResourceException then), or the constant name where there is none.
template <typename E>
const std::string& toString(E value) {
    static const auto texts = [] {
        std::array<std::string, Description<E>::constants.size()> all;
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = displayText(Description<E>::constants[i]);
        return all;
    }();
    return texts[static_cast<size_t>(value)];
}

// Display text of the constant at a position, or the empty text outside the list (for the
// serial parameters shown as numbers).
template <typename E>
std::string textAt(int position) {
    if (!isValidPosition<E>(position)) return {};
    return toString(static_cast<E>(position));
}

template <>
struct Description<BitRates> {
    static constexpr std::array constants = {
        literal("BR_110", "110"),       literal("BR_150", "150"),
        literal("BR_300", "300"),       literal("BR_600", "600"),
        literal("BR_1200", "1200"),     literal("BR_2400", "2400"),
        literal("BR_4800", "4800"),     literal("BR_9600", "9600"),
        literal("BR_19200", "19200"),   literal("BR_38400", "38400"),
        literal("BR_57600", "57600"),   literal("BR_115200", "115200"),
        literal("BR_230400", "230400"), literal("BR_460800", "460800"),
        literal("BR_921600", "921600")};
    static constexpr BitRates defaultValue = BitRates::BR_9600;
};

template <>
struct Description<DataBits> {
    static constexpr std::array constants = {literal("LN_5BITS", "5"), literal("LN_6BITS", "6"),
                                             literal("LN_7BITS", "7"), literal("LN_8BITS", "8")};
    static constexpr DataBits defaultValue = DataBits::LN_8BITS;
};

template <>
struct Description<StopBits> {
    static constexpr std::array constants = {literal("ST_1BITS", "1"), literal("ST_2BITS", "2")};
    static constexpr StopBits defaultValue = StopBits::ST_1BITS;
};

template <>
struct Description<Parity> {
    static constexpr std::array constants = {bare("NONE"), bare("ODD"), bare("EVEN"), bare("MARK"),
                                             bare("SPACE")};
    static constexpr Parity defaultValue = Parity::NONE;
};

template <>
struct Description<InputTerminator> {
    static constexpr std::array constants = {literal("EOT", "4 <EOT>"), literal("LF", "10 <LF>"),
                                             literal("CR", "13 <CR>")};
    static constexpr InputTerminator defaultValue = InputTerminator::CR;
};

template <>
struct Description<StartWith> {
    static constexpr std::array constants = {
        keyed("NONE", "key.none"), keyed("ENTER", "enter"), keyed("TAB", "tab"),
        keyed("RIGHT", "right"),   keyed("DOWN", "down"),   keyed("DELETE", "delete"),
        literal("MULTIPLY", "*"),  literal("F1", "F1"),     literal("F2", "F2"),
        literal("F3", "F3"),       literal("F4", "F4"),     literal("F5", "F5"),
        literal("F6", "F6"),       literal("F7", "F7"),     literal("F8", "F8"),
        literal("F9", "F9"),       literal("F10", "F10"),   literal("F11", "F11"),
        literal("F12", "F12")};
    static constexpr StartWith defaultValue = StartWith::NONE;
};

template <>
struct Description<OutputTerminator> {
    static constexpr std::array constants = {keyed("NONE", "key.none"), keyed("ENTER", "enter"),
                                             keyed("TAB", "tab"), keyed("RIGHT", "right"),
                                             keyed("DOWN", "down")};
    static constexpr OutputTerminator defaultValue = OutputTerminator::NONE;
};

template <>
struct Description<Sound> {
    static constexpr std::array constants = {
        keyed("NONE", "sound.none"),         literal("RIDE_BELL", "Ride Bell"),
        literal("COWBELL", "Cowbell"),       literal("HIGH_AGOGO", "High Agogo"),
        literal("LOW_AGOGO", "Low Agogo"),   literal("CLAVES", "Claves"),
        literal("OPEN_TRIANGLE", "Triangle")};
    static constexpr Sound defaultValue = Sound::NONE;
};

template <>
struct Description<RoundingMethod> {
    static constexpr std::array constants = {literal("CEILING", "ceiling"),
                                             literal("DOWN", "down"),
                                             literal("FLOOR", "floor"),
                                             literal("HALF_DOWN", "half down"),
                                             literal("HALF_EVEN", "half even"),
                                             literal("HALF_UP", "half up"),
                                             literal("UP", "up")};
    static constexpr RoundingMethod defaultValue = RoundingMethod::HALF_UP;
};

template <>
struct Description<MathOperation> {
    static constexpr std::array constants = {
        keyed("NONE", "math.none"), keyed("MULTIPLY", "multiply"), keyed("DIVIDE", "divide")};
    static constexpr MathOperation defaultValue = MathOperation::NONE;
};

template <>
struct Description<DecimalSeparator> {
    static constexpr std::array constants = {keyed("DOT", "dot"), keyed("COMMA", "comma")};
    static constexpr DecimalSeparator defaultValue = DecimalSeparator::DOT;
};

template <>
struct Description<EditOperation> {
    static constexpr std::array constants = {keyed("REMOVE", "edit.remove"),
                                             keyed("KEEP", "edit.keep")};
    static constexpr EditOperation defaultValue = EditOperation::REMOVE;
};

template <>
struct Description<EditPosition> {
    static constexpr std::array constants = {keyed("FIRST", "edit.first"),
                                             keyed("LAST", "edit.last")};
    static constexpr EditPosition defaultValue = EditPosition::FIRST;
};

template <>
struct Description<Connect> {
    static constexpr std::array constants = {keyed("MANUAL", "manual"), keyed("AUTO", "auto")};
    static constexpr Connect defaultValue = Connect::MANUAL;
};

template <>
struct Description<KeyboardType> {
    static constexpr std::array constants = {
        keyed("QUERTY", "keyboardType.default"),
        keyed("US_INTERNATIONAL", "keyboardType.us_international"),
        keyed("AZERTY", "keyboardType.azerty"), keyed("GERMAN", "keyboardType.german"),
        keyed("DESKTOP", "keyboardType.desktop")};
    static constexpr KeyboardType defaultValue = KeyboardType::QUERTY;
};

template <>
struct Description<KeyboardOutput> {
    static constexpr std::array constants = {
        keyed("AUTO", "keyboardOutput.auto"),       keyed("PORTAL", "keyboardOutput.portal"),
        keyed("KDE", "keyboardOutput.kde"),         keyed("WAYLAND", "keyboardOutput.wayland"),
        keyed("UINPUT", "keyboardOutput.uinput"),   keyed("X11", "keyboardOutput.x11")};
    static constexpr KeyboardOutput defaultValue = KeyboardOutput::AUTO;
};

// The name createKeyEventGenerator knows the output by.
std::string_view backendName(KeyboardOutput output);

template <>
struct Description<KeyMapType> {
    static constexpr std::array constants = {bare("NUMERIC"), bare("ALPHANUMERIC_BASIC"),
                                             bare("ALPHANUMERIC_COMPLETE")};
    static constexpr KeyMapType defaultValue = KeyMapType::NUMERIC;
};

template <>
struct Description<InstrumentType> {
    static constexpr std::array constants = {bare("NUMBER"), bare("TEXT")};
    static constexpr InstrumentType defaultValue = InstrumentType::NUMBER;
};

// The input terminator is stored as a character code 0 to 255; three codes have constants.
inline constexpr int kDefaultInputTerminatorCode = 13;
int getCharacterCode(InputTerminator terminator);
std::optional<InputTerminator> inputTerminatorWithCode(int code);
bool isValidInputTerminatorCode(int code);
// The entry the terminator list shows for a code: the constant's text, or the bare number.
std::string inputTerminatorListText(int code);

// Code of the key to type, in the typing engine's key numbering; 0 for NONE (no key).
int getKeyCode(StartWith key);
int getKeyCode(OutputTerminator key);
// General MIDI percussion note; 0 for NONE.
int getPercussionNumber(Sound sound);
RoundingMode getRoundingMode(RoundingMethod method);

// Validators of the settings typed as text: each has a default and an acceptance rule.
struct MathOperand {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct DecimalPlaces {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct EditNumCharacters {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct RemoveCharacters {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct IgnoreTimeLimit {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct IgnoreDifference {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct CustomRegEx {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};
struct Delay {
    static std::string getDefault() { return "20"; }
    static bool isValid(std::string_view text);
};
// An XKB layout as setxkbmap names it, with its variant in parentheses: "de", "ch(fr)",
// "us(dvorak)". Empty: the layout of the running X server.
struct XkbLayout {
    static std::string getDefault() { return ""; }
    static bool isValid(std::string_view text);
};

}  // namespace scalino::ConfigHelper
