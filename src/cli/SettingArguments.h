#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Config.h"

namespace scalino::cli {

// A --set KEY=VALUE that cannot be applied, with the message for the user.
struct SettingError {
    std::string message;
};

// Applies KEY=VALUE assignments to config in order, each checked by the acceptance rule the
// settings store applies on loading. Values are stored forms: constant names, integers,
// "true"/"false", texts (UTF-8). Returns the first assignment that fails.
std::optional<SettingError> applySettings(Config& config,
                                          const std::vector<std::string>& assignments);

// Moves every "--set KEY=VALUE" (or "--set=KEY=VALUE") out of arguments into assignments, in
// order. A "--set" without its value is left in arguments, to be refused with the rest.
void takeSetOptions(std::vector<std::string>& arguments, std::vector<std::string>& assignments);

// The value of an option given as "--name VALUE" or "--name=VALUE" at arguments[i] (i then
// moves past it); empty when the option is last and lacks it, nothing for another argument.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, size_t& i,
                                       const std::string& name);

// Why name is not a value of --keyboard, or nothing when it is one.
std::optional<std::string> keyboardError(const std::string& name);

// What a setting accepts, for error messages and help.
std::string_view acceptedValues(std::string_view key);

}  // namespace scalino::cli
