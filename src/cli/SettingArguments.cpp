#include "cli/SettingArguments.h"

#include <array>
#include <map>
#include <variant>

#include "cli/CommandLineValues.h"
#include "config/ConfigKeys.h"
#include "config/Instrument.h"
#include "platform/KeyEventBackend.h"

namespace scalino::cli {

std::string_view acceptedValues(std::string_view key) {
    static const std::map<std::string_view, std::string_view> hints = {
        {"instrument",
         "an instrument name such as GENERIC, KERN_MPS or BARCODE_ALPHA (see 'scalino-cli "
         "instruments')"},
        {"bitRate",
         "a bit rate from 110 to 921600 such as 9600 (110, 150, 300, 600, 1200, 2400, 4800, "
         "9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600)"},
        {"dataBits", "5, 6, 7 or 8"},
        {"stopBits", "1 or 2"},
        {"parity", "NONE, ODD, EVEN, MARK or SPACE"},
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
        {"keyboardType", "DESKTOP, QWERTY, US_INTERNATIONAL, AZERTY or GERMAN"},
        {"xkbLayout", "an XKB layout with its variant in parentheses, such as de, ch(fr) or "
                      "us(dvorak), or empty for the X server's"},
        {"keyboardOutput", "AUTO, PORTAL, KDE, WAYLAND, UINPUT or X11"},
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

namespace {

// The line settings --defaults brings, which an explicit assignment overrides.
constexpr std::array<std::string_view, 5> kLineKeys = {"bitRate", "dataBits", "stopBits",
                                                        "parity", "inputTerminator"};

void addLineAssignments(const std::string& line, std::vector<std::string>& assignments) {
    auto parsed = lineAssignments(line);
    if (auto* error = std::get_if<std::string>(&parsed)) throw UsageError("--line: " + *error);
    for (std::string& assignment : std::get<std::vector<std::string>>(parsed))
        assignments.push_back(std::move(assignment));
}

}  // namespace

bool givesSetting(const SettingOptions& options, std::string_view key) {
    for (const std::string& assignment : options.assignments) {
        if (assignment.starts_with(key) && assignment.size() > key.size() &&
            assignment[key.size()] == '=')
            return true;
    }
    return false;
}

void takeSettingOptions(std::vector<std::string>& arguments, SettingOptions& options,
                        bool takesDefaults) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (auto assignment = optionValue(arguments, i, "--set")) {
            options.assignments.push_back(*assignment);
        } else if (auto rate = optionValue(arguments, i, "--baud")) {
            options.assignments.push_back("bitRate=" + *rate);
        } else if (auto shortRate = optionValue(arguments, i, "-b")) {
            options.assignments.push_back("bitRate=" + *shortRate);
        } else if (auto line = optionValue(arguments, i, "--line")) {
            addLineAssignments(*line, options.assignments);
        } else if (takesDefaults && arguments[i] == "--defaults") {
            options.defaults = true;
        } else {
            rest.push_back(arguments[i]);
        }
    }
    arguments = std::move(rest);
}

std::optional<std::string> optionValue(const std::vector<std::string>& arguments, size_t& i,
                                       const std::string& name) {
    if (arguments[i] == name) {
        if (i + 1 >= arguments.size())
            throw UsageError("option '" + name + "' requires an argument");
        return arguments[++i];
    }
    if (arguments[i].starts_with(name + "=")) return arguments[i].substr(name.size() + 1);
    return std::nullopt;
}

std::optional<std::string> keyboardError(const std::string& name) {
    if (isKeyEventBackend(name)) return std::nullopt;
    return "'" + name + "' is not a keyboard; use auto, portal, kde, wayland, uinput, x11 or "
           "record";
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
        if (!setting->set(config, toStoredForm(*setting, value))) {
            std::string message = "'";  // appended: see lineAssignments
            message.append(value).append("' is not a valid value for ").append(key);
            return SettingError{message + ": expected " + std::string(acceptedValues(key))};
        }
    }
    return std::nullopt;
}

}  // namespace scalino::cli

namespace scalino::cli {

std::optional<SettingError> applySettings(Config& config, const SettingOptions& options) {
    if (auto error = applySettings(config, options.assignments)) return error;
    if (!options.defaults) return std::nullopt;
    const Config defaults = ConfigHelper::getDefaultConfig(
        config.getInstrument().value_or(ConfigHelper::getDefault<ConfigHelper::Instrument>()));
    for (std::string_view key : kLineKeys) {
        if (givesSetting(options, key)) continue;
        const ConfigKey* setting = findConfigKey(key);
        setting->set(config, setting->get(defaults));
    }
    return std::nullopt;
}

void reportDefaults(std::FILE* err, const char* command, const Config& config) {
    const ConfigHelper::Instrument instrument =
        config.getInstrument().value_or(ConfigHelper::getDefault<ConfigHelper::Instrument>());
    std::fprintf(err, "scalino-cli %s: line settings of %s: %s\n", command,
                 std::string(ConfigHelper::name(instrument)).c_str(),
                 lineSummary(ConfigHelper::getDefaultConfig(instrument)).c_str());
    if (auto message = ConfigHelper::getDefaultMessage(instrument))
        std::fprintf(err, "scalino-cli %s: %s\n", command, message->c_str());
}

}  // namespace scalino::cli
