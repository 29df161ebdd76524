#include "config/ConfigHelper.h"

#include <algorithm>
#include <cctype>

#include "util/Regex.h"
#include "util/ResourceBundle.h"
#include "util/Text.h"

namespace scalino::ConfigHelper {

const ResourceBundle& bundle() {
    return ResourceBundle::getBundle(kBundleName);
}

std::string displayText(const Constant& constant) {
    if (constant.text.empty()) return std::string(constant.name);
    if (constant.textIsKey) return bundle().getString(constant.text);
    return std::string(constant.text);
}

int getCharacterCode(InputTerminator terminator) {
    switch (terminator) {
        case InputTerminator::EOT: return 4;
        case InputTerminator::LF: return 10;
        case InputTerminator::CR: return 13;
    }
    return kDefaultInputTerminatorCode;
}

std::optional<InputTerminator> inputTerminatorWithCode(int code) {
    for (InputTerminator terminator : values<InputTerminator>()) {
        if (getCharacterCode(terminator) == code) return terminator;
    }
    return std::nullopt;
}

bool isValidInputTerminatorCode(int code) {
    return code >= 0 && code <= 255;
}

std::string inputTerminatorListText(int code) {
    if (auto terminator = inputTerminatorWithCode(code)) return toString(*terminator);
    return std::to_string(code);
}

int getKeyCode(StartWith key) {
    switch (key) {
        case StartWith::NONE: return 0;
        case StartWith::ENTER: return 10;
        case StartWith::TAB: return 9;
        case StartWith::RIGHT: return 39;
        case StartWith::DOWN: return 40;
        case StartWith::DELETE: return 127;
        case StartWith::MULTIPLY: return 106;
        default: return 112 + (ordinal(key) - ordinal(StartWith::F1));  // F1 to F12
    }
}

int getKeyCode(OutputTerminator key) {
    // The terminators are the start keys of the same names.
    return getKeyCode(*valueOf<StartWith>(name(key)));
}

std::string_view backendName(KeyboardOutput output) {
    switch (output) {
        case KeyboardOutput::PORTAL: return "portal";
        case KeyboardOutput::KDE: return "kde";
        case KeyboardOutput::WAYLAND: return "wayland";
        case KeyboardOutput::UINPUT: return "uinput";
        case KeyboardOutput::X11: return "x11";
        case KeyboardOutput::AUTO: break;
    }
    return "auto";
}

int getPercussionNumber(Sound sound) {
    static constexpr int numbers[] = {0, 53, 56, 67, 68, 75, 81};
    return numbers[ordinal(sound)];
}

RoundingMode getRoundingMode(RoundingMethod method) {
    switch (method) {
        case RoundingMethod::CEILING: return RoundingMode::CEILING;
        case RoundingMethod::DOWN: return RoundingMode::DOWN;
        case RoundingMethod::FLOOR: return RoundingMode::FLOOR;
        case RoundingMethod::HALF_DOWN: return RoundingMode::HALF_DOWN;
        case RoundingMethod::HALF_EVEN: return RoundingMode::HALF_EVEN;
        case RoundingMethod::HALF_UP: return RoundingMode::HALF_UP;
        case RoundingMethod::UP: return RoundingMode::UP;
    }
    return RoundingMode::HALF_UP;
}

namespace {

bool isIntegerWithin(std::string_view text, int minimum, int maximum) {
    const auto value = parseInt(text);
    return value && *value >= minimum && *value <= maximum;
}

// Position of the first bracket that no backslash directly precedes, or -1.
long firstUnescaped(const std::vector<char32_t>& text, char32_t bracket) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == bracket && (i == 0 || text[i - 1] != U'\\')) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace

// Zero in any spelling ("0.0", "-0", "0E3") is refused: multiplying by it types 0 for every
// reading, and dividing by it ends every connection.
bool MathOperand::isValid(std::string_view text) {
    if (text.empty()) return true;
    const auto operand = Decimal::parse(text);
    return operand && !operand->isZero();
}

bool DecimalPlaces::isValid(std::string_view text) {
    return text.empty() || isIntegerWithin(text, 0, 7);
}

bool EditNumCharacters::isValid(std::string_view text) {
    return text.empty() || isIntegerWithin(text, 1, 99);
}

bool RemoveCharacters::isValid(std::string_view text) {
    std::string bytes;
    return utf8ToLatin1(text, bytes);
}

bool IgnoreTimeLimit::isValid(std::string_view text) {
    if (text.empty()) return true;
    const auto value = parseInt(text);
    return value && *value > 0;
}

bool IgnoreDifference::isValid(std::string_view text) {
    if (text.empty()) return true;
    const auto value = Decimal::parse(text);
    return value && value->signum() > 0;
}

bool CustomRegEx::isValid(std::string_view text) {
    if (text.empty()) return true;
    const auto codes = decodeUtf8(text);
    if (!codes) return false;
    try {
        Regex compiled(patternFromUserText(text));
    } catch (const RegexSyntaxError&) {
        return false;
    }
    return firstUnescaped(*codes, U'(') < firstUnescaped(*codes, U')');
}

bool Delay::isValid(std::string_view text) {
    return text.empty() || isIntegerWithin(text, 0, 1000);
}

namespace {

// The names in the system's XKB data: short, of ASCII letters, digits, '_' and '-'.
bool isXkbName(std::string_view name) {
    constexpr size_t kLongestName = 48;
    if (name.empty() || name.size() > kLongestName) return false;
    return std::ranges::all_of(name, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-';
    });
}

}  // namespace

bool XkbLayout::isValid(std::string_view text) {
    if (text.empty()) return true;
    const size_t open = text.find('(');
    if (open == std::string_view::npos) return isXkbName(text);
    return text.back() == ')' && isXkbName(text.substr(0, open)) &&
           isXkbName(text.substr(open + 1, text.size() - open - 2));
}

}  // namespace scalino::ConfigHelper
