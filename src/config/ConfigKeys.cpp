#include "config/ConfigKeys.h"

#include <algorithm>
#include <cctype>

#include "util/ProcessProperties.h"
#include "util/Text.h"

namespace scalino {
namespace {

using namespace ConfigHelper;

// A setting stored by constant name.
template <typename E, E (Config::*getter)() const, void (Config::*setter)(E)>
ConfigKey byName(std::string_view key) {
    return {key,
            [](Config& config, std::string_view stored) {
                const auto value = valueOf<E>(stored);
                if (value) (config.*setter)(*value);
                return value.has_value();
            },
            [](const Config& config) { return std::string(name((config.*getter)())); },
            [](Config& config) { (config.*setter)(getDefault<E>()); }, StoredForm::Name,
            Description<E>::constants};
}

// A serial parameter stored by position in its enumeration.
template <typename E, int (Config::*getter)() const, void (Config::*setter)(int)>
ConfigKey byPosition(std::string_view key) {
    return {key,
            [](Config& config, std::string_view stored) {
                const auto position = parseInt(stored);
                if (!position || !isValidPosition<E>(*position)) return false;
                (config.*setter)(*position);
                return true;
            },
            [](const Config& config) { return std::to_string((config.*getter)()); },
            [](Config& config) { (config.*setter)(ordinal(getDefault<E>())); },
            StoredForm::Integer, Description<E>::constants};
}

// A text setting with its validator.
template <typename Validator, const std::string& (Config::*getter)() const,
          void (Config::*setter)(std::string)>
ConfigKey text(std::string_view key) {
    return {key,
            [](Config& config, std::string_view stored) {
                if (!Validator::isValid(stored)) return false;
                (config.*setter)(std::string(stored));
                return true;
            },
            [](const Config& config) { return (config.*getter)(); },
            [](Config& config) { (config.*setter)(Validator::getDefault()); }};
}

std::optional<bool> parseFlag(std::string_view stored) {
    if (equalsIgnoringCase(stored, "true")) return true;
    if (equalsIgnoringCase(stored, "false")) return false;
    return std::nullopt;
}

// A flag; defaultValue is the store's default, not the object's.
template <bool Config::Fields::*member, bool defaultValue>
ConfigKey flag(std::string_view key) {
    return {
        key,
        [](Config& config, std::string_view stored) {
            const auto value = parseFlag(stored);
            if (value) config.setFlag(member, *value);
            return value.has_value();
        },
        [](const Config& config) { return std::string(config.flag(member) ? "true" : "false"); },
        [](Config& config) { config.setFlag(member, defaultValue); }, StoredForm::Flag};
}

// Settings stored before the desktop's layout existed name their layout; new ones follow the
// desktop's where a desktop can tell it: an X server, or a Wayland compositor, whose ways of
// typing bring its keymap along.
KeyboardType newSettingsKeyboardType() {
    if (ProcessProperties::get("DISPLAY", "").empty() &&
        ProcessProperties::get("WAYLAND_DISPLAY", "").empty()) {
        return getDefault<KeyboardType>();
    }
    return KeyboardType::DESKTOP;
}

const std::vector<ConfigKey>& table() {
    static const std::vector<ConfigKey> keys = {
        {"port",
         [](Config& config, std::string_view stored) {
             config.setPort(std::string(stored));
             return true;
         },
         [](const Config& config) { return config.getPort(); }, [](Config&) {}},
        {"prevPort",
         [](Config& config, std::string_view stored) {
             config.setPrevPort(std::string(stored));
             return true;
         },
         [](const Config& config) { return config.getPrevPort().value_or(""); },
         [](Config& config) { config.setPrevPort(config.getPort()); }},
        {"instrument",
         [](Config& config, std::string_view stored) {
             const auto instrument = valueOf<Instrument>(stored);
             if (instrument) config.setInstrument(*instrument);
             return instrument.has_value();
         },
         [](const Config& config) {
             return std::string(name(config.getInstrument().value_or(getDefault<Instrument>())));
         },
         [](Config& config) { config.setInstrument(getDefault<Instrument>()); }, StoredForm::Name,
         Description<Instrument>::constants},
        byPosition<BitRates, &Config::getBitRate, &Config::setBitRate>("bitRate"),
        byPosition<DataBits, &Config::getDataBits, &Config::setDataBits>("dataBits"),
        byPosition<StopBits, &Config::getStopBits, &Config::setStopBits>("stopBits"),
        byPosition<Parity, &Config::getParity, &Config::setParity>("parity"),
        byName<DecimalSeparator, &Config::getDecimalSeparator, &Config::setDecimalSeparator>(
            "decimalSeparator"),
        {"inputTerminator",
         [](Config& config, std::string_view stored) {
             const auto code = parseInt(stored);
             if (!code || !isValidInputTerminatorCode(*code)) return false;
             config.setInputTerminator(*code);
             return true;
         },
         [](const Config& config) { return std::to_string(config.getInputTerminator()); },
         [](Config& config) { config.setInputTerminator(kDefaultInputTerminatorCode); },
         StoredForm::Integer},
        byName<StartWith, &Config::getStartWith, &Config::setStartWith>("startWith"),
        byName<OutputTerminator, &Config::getOutputTerminator, &Config::setOutputTerminator>(
            "outputTerminator"),
        byName<Connect, &Config::getConnect, &Config::setConnect>("connect"),
        text<MathOperand, &Config::getMathOperand, &Config::setMathOperand>("mathOperand"),
        byName<MathOperation, &Config::getMathOperation, &Config::setMathOperation>(
            "mathOperation"),
        text<DecimalPlaces, &Config::getDecimalPlaces, &Config::setDecimalPlaces>("decimalPlaces"),
        byName<RoundingMethod, &Config::getRoundingMethod, &Config::setRoundingMethod>(
            "roundingMethod"),
        byName<Sound, &Config::getSound, &Config::setSound>("sound"),
        {"keyboardType",
         [](Config& config, std::string_view stored) {
             const auto value = valueOf<KeyboardType>(stored);
             if (value) config.setKeyboardType(*value);
             return value.has_value();
         },
         [](const Config& config) { return std::string(name(config.getKeyboardType())); },
         [](Config& config) { config.setKeyboardType(newSettingsKeyboardType()); },
         StoredForm::Name, Description<KeyboardType>::constants},
        text<XkbLayout, &Config::getXkbLayout, &Config::setXkbLayout>("xkbLayout"),
        byName<KeyboardOutput, &Config::getKeyboardOutput, &Config::setKeyboardOutput>(
            "keyboardOutput"),
        text<Delay, &Config::getDelay, &Config::setDelay>("delay"),
        flag<&Config::Fields::minimizeToTray, false>("minimizeToTray"),
        flag<&Config::Fields::notifyWhenMinimizedToTray, false>("notifyWhenMinimizedToTray"),
        flag<&Config::Fields::checkForUpdates, true>("checkForUpdates"),
        flag<&Config::Fields::abortAutoStartWhenPrevPortNotAvailable, false>(
            "abortAutoStartWhenPrevPortNotAvailable"),
        flag<&Config::Fields::ignoreDuplicates, false>("ignoreDuplicates"),
        byName<EditOperation, &Config::getEditOperation, &Config::setEditOperation>(
            "editOperation"),
        byName<EditPosition, &Config::getEditPosition, &Config::setEditPosition>("editPosition"),
        text<EditNumCharacters, &Config::getEditNumCharacters, &Config::setEditNumCharacters>(
            "editNumCharacters"),
        text<RemoveCharacters, &Config::getRemoveCharacters, &Config::setRemoveCharacters>(
            "removeCharacters"),
        text<IgnoreTimeLimit, &Config::getIgnoreTimeLimit, &Config::setIgnoreTimeLimit>(
            "ignoreTimeLimit"),
        text<IgnoreDifference, &Config::getIgnoreDifference, &Config::setIgnoreDifference>(
            "ignoreDifference"),
        text<CustomRegEx, &Config::getCustomRegEx, &Config::setCustomRegEx>("customRegEx"),
    };
    return keys;
}

}  // namespace

std::span<const ConfigKey> configKeys() {
    return table();
}

const ConfigKey* findConfigKey(std::string_view name) {
    for (const ConfigKey& key : table()) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

Config defaultStoreConfig() {
    Config config;
    for (const ConfigKey& key : table())
        key.setDefault(config);
    return config;
}

}  // namespace scalino
