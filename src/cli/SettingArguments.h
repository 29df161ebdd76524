#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/Config.h"

namespace scalino::cli {

// A --set KEY=VALUE that cannot be applied, with the message for the user.
struct SettingError {
    std::string message;
};

// A command line that cannot be used, with the message; the command ends with exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings a command line gives.
struct SettingOptions {
    std::vector<std::string> assignments;  // KEY=VALUE, in the order given
    bool defaults = false;                 // --defaults: the instrument's line settings
};

// Applies KEY=VALUE assignments to config in order, each checked by the acceptance rule the
// settings store applies on loading. Values are written as the command line writes them (see
// CommandLineValues.h) or in their stored form. Returns the first assignment that fails.
std::optional<SettingError> applySettings(Config& config,
                                          const std::vector<std::string>& assignments);

// applySettings, then with --defaults the line settings of the instrument the settings name
// (bit rate, data bits, parity, stop bits, input terminator) where no assignment gave them.
std::optional<SettingError> applySettings(Config& config, const SettingOptions& options);

// Whether an assignment of options sets key.
bool givesSetting(const SettingOptions& options, std::string_view key);

// The instrument's line settings and setup hint, as --defaults applied them, on err.
void reportDefaults(std::FILE* err, const char* command, const Config& config);

// Moves the setting options out of arguments, in order: "--set KEY=VALUE", "-b/--baud RATE",
// "--line 9600,7E1" and, where the command takes it, "--defaults". Throws UsageError.
void takeSettingOptions(std::vector<std::string>& arguments, SettingOptions& options,
                        bool takesDefaults);

// The value of an option given as "--name VALUE" or "--name=VALUE" at arguments[i] (i then
// moves past it), nothing for another argument. Throws UsageError when the value is missing.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, size_t& i,
                                       const std::string& name);

// Why name is not a value of --keyboard, or nothing when it is one.
std::optional<std::string> keyboardError(const std::string& name);

// What a setting accepts, for error messages and help.
std::string_view acceptedValues(std::string_view key);

}  // namespace scalino::cli
