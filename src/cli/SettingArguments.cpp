#include "cli/SettingArguments.h"

#include <map>

#include "config/ConfigKeys.h"
#include "platform/KeyEventBackend.h"

namespace scalino::cli {

std::string_view acceptedValues(std::string_view key) {
    static const std::map<std::string_view, std::string_view> hints = {
        {"instrument",
         "an instrument name such as GENERIC, KERN_MPS or BARCODE_ALPHA (see 'scalino-cli "
         "instruments')"},
        {"bitRate", "a position from 0 (110 bit/s) to 14 (921600 bit/s); 7 is 9600"},
        {"dataBits", "a position from 0 (5 bits) to 3 (8 bits)"},
        {"stopBits", "0 (1 stop bit) or 1 (2 stop bits)"},
        {"parity", "0 NONE, 1 ODD, 2 EVEN, 3 MARK or 4 SPACE"},
        {"decimalSeparator", "DOT or COMMA"},
        {"inputTerminator", "a character code from 0 to 255, such as 13 (CR) or 10 (LF)"},
        {"startWith", "NONE, ENTER, TAB, RIGHT, DOWN, DELETE, MULTIPLY or F1 to F12"},
        {"outputTerminator", "NONE, ENTER, TAB, RIGHT or DOWN"},
        {"connect", "MANUAL or AUTO"},
        {"mathOperand", "a decimal number other than 0 (point as separator), or empty"},
        {"mathOperation", "NONE, MULTIPLY or DIVIDE"},
        {"decimalPlaces", "an integer from 0 to 7, or empty"},
        {"roundingMethod", "CEILING, DOWN, FLOOR, HALF_DOWN, HALF_EVEN, HALF_UP or UP"},
        {"sound", "NONE, RIDE_BELL, COWBELL, HIGH_AGOGO, LOW_AGOGO, CLAVES or OPEN_TRIANGLE"},
        {"keyboardType", "QUERTY, US_INTERNATIONAL, AZERTY or GERMAN"},
        {"delay", "milliseconds from 0 to 1000, or empty"},
        {"editOperation", "REMOVE or KEEP"},
        {"editPosition", "FIRST or LAST"},
        {"editNumCharacters", "an integer from 1 to 99, or empty"},
        {"removeCharacters", "characters with codes up to 255"},
        {"ignoreTimeLimit", "milliseconds greater than 0, or empty"},
        {"ignoreDifference", "a decimal number greater than 0, or empty"},
        {"customRegEx",
         "an expression that compiles and whose first unescaped '(' comes before its first "
         "unescaped ')', such as (\\d+\\.\\d+), or empty"},
    };
    if (auto it = hints.find(key); it != hints.end()) return it->second;
    return "true or false";
}

void takeSetOptions(std::vector<std::string>& arguments, std::vector<std::string>& assignments) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--set" && i + 1 < arguments.size()) {
            assignments.push_back(arguments[++i]);
        } else if (arguments[i].starts_with("--set=")) {
            assignments.push_back(arguments[i].substr(6));
        } else {
            rest.push_back(arguments[i]);
        }
    }
    arguments = std::move(rest);
}

std::optional<std::string> optionValue(const std::vector<std::string>& arguments, size_t& i,
                                       const std::string& name) {
    if (arguments[i] == name) return i + 1 < arguments.size() ? arguments[++i] : "";
    if (arguments[i].starts_with(name + "=")) return arguments[i].substr(name.size() + 1);
    return std::nullopt;
}

std::optional<std::string> keyboardError(const std::string& name) {
    if (isKeyEventBackend(name)) return std::nullopt;
    return "'" + name + "' is not a keyboard; use x11, uinput or record";
}

std::optional<SettingError> applySettings(Config& config,
                                          const std::vector<std::string>& assignments) {
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            return SettingError{"'" + assignment +
                                "' is not KEY=VALUE, for example --set decimalPlaces=2"};
        }
        const std::string_view key = std::string_view(assignment).substr(0, equals);
        const std::string_view value = std::string_view(assignment).substr(equals + 1);
        const ConfigKey* setting = findConfigKey(key);
        if (setting == nullptr) {
            std::string known;
            for (const ConfigKey& k : configKeys())
                known += (known.empty() ? "" : ", ") + std::string(k.name);
            return SettingError{"unknown setting '" + std::string(key) +
                                "'; settings are: " + known};
        }
        if (!setting->set(config, value)) {
            return SettingError{"'" + std::string(value) + "' is not a valid value for " +
                                std::string(key) + ": expected " +
                                std::string(acceptedValues(key))};
        }
    }
    return std::nullopt;
}

}  // namespace scalino::cli
