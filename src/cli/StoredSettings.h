#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/Config.h"

namespace scalino::cli {

// Takes every "--prefs FILE" (or "--prefs=FILE") out of the arguments and names that file as
// the preferences file of this process. Returns a message when the option lacks its file.
std::optional<std::string> takePreferencesOption(std::vector<std::string>& arguments);

// Loads the settings from the store as the desktop program does at start-up, with the given
// ports available (none: the stored port is not read). Replaced invalid values and an
// unreadable store are reported on err, prefixed with the command's name; the settings are
// usable in every case.
Config loadStoredSettings(std::FILE* err, const char* command,
                          const std::vector<std::string>& availablePorts);

}  // namespace scalino::cli
