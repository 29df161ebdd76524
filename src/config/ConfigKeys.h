#pragma once

#include <span>
#include <string>
#include <string_view>

#include "config/Config.h"
#include "config/ConfigHelper.h"

namespace scalino {

// How a setting is stored. The store reads integers and flags with a conversion, so a stored
// text that does not convert counts as missing there rather than as not acceptable.
enum class StoredForm { Text, Name, Integer, Flag };

// One key of the settings node: how its stored text becomes a setting and back.
struct ConfigKey {
    std::string_view name;
    // Sets the field from a stored text when its acceptance rule holds; false (field untouched)
    // when the text is not acceptable.
    bool (*set)(Config& config, std::string_view stored);
    // The setting in its stored form: constant names, decimal integers, "true"/"false", texts.
    std::string (*get)(const Config& config);
    // Sets the value used when the key is missing from the store.
    void (*setDefault)(Config& config);
    StoredForm form = StoredForm::Text;
    // The enumeration's constants, for a setting stored by name or by position; empty otherwise.
    std::span<const ConfigHelper::Constant> constants = {};
};

// Every key of the settings node, in reading order ("port" and "prevPort" first).
std::span<const ConfigKey> configKeys();
const ConfigKey* findConfigKey(std::string_view name);

// A settings object holding the store's defaults, as on a first start without ports.
Config defaultStoreConfig();

}  // namespace scalino
